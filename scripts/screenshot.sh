#!/usr/bin/env bash
# Regenerates docs/screenshot.png and docs/solid_window.png, the README's pictures of the main
# window with a foot loaded and of the 3D window showing its insole, by running the current
# program under its own Xvfb with the end-to-end harness.
# Uses samples/foot.bmp when it exists, otherwise a foot image drawn for the occasion.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

build=build-app
cmake -S . -B "$build" -DTARSOLA_TESTS=OFF -DTARSOLA_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target tarsola

foot=()
[ -f samples/foot.bmp ] && foot=(--foot samples/foot.bmp)
mkdir -p docs
python3 tests/e2e/run_e2e.py --tarsola "$build/tarsola" --screenshot docs/screenshot.png \
  --solid-screenshot docs/solid_window.png "${foot[@]}"
