#!/usr/bin/env bash
# Regenerates the README's pictures by running the current programs under their own Xvfb with
# the end-to-end harness: docs/screenshot.png (the main window with a foot loaded),
# docs/solid_window.png (the 3D window showing its insole), docs/relief_window.png (the 3D
# window with a plate measurement's zones), docs/milling_path.png (the 3D window showing the
# finishing path of that insole), docs/pressure_preview.png (tarsola-batch's picture of
# the measurement placed on the foot), docs/prescription_window.png with
# docs/prescription_solid.png (the prescription window with a pad, an arch support and a heel
# cup on, and the 3D window outlining them) and docs/elements_preview.png (tarsola-batch's
# picture of those elements' raise).
# Uses samples/foot.bmp when it exists, otherwise a foot image drawn for the occasion.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

build=build-app
cmake -S . -B "$build" -DTARSOLA_TESTS=OFF -DTARSOLA_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target tarsola tarsola-batch

foot=()
[ -f samples/foot.bmp ] && foot=(--foot samples/foot.bmp)
mkdir -p docs
plate=$(mktemp --suffix=.csv)
trap 'rm -f "$plate"' EXIT
python3 tests/e2e/run_e2e.py --tarsola "$build/tarsola" --screenshot docs/screenshot.png \
  --solid-screenshot docs/solid_window.png --relief-screenshot docs/relief_window.png \
  --plate "$plate" --path-screenshot docs/milling_path.png \
  --prescription-screenshot docs/prescription_window.png docs/prescription_solid.png "${foot[@]}"
if [ -f samples/foot.bmp ]; then
  "$build/tarsola-batch" samples/foot.bmp --pressure "$plate" --limit \
    --pressure-preview docs/pressure_preview.png >/dev/null
  "$build/tarsola-batch" samples/foot.bmp --met-pad-mm 4 --arch-mm 5 --heel-cup-mm 6 \
    --elements-preview docs/elements_preview.png >/dev/null
fi
