#!/usr/bin/env bash
# Builds Tarsola and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build-app -DTARSOLA_TESTS=OFF -DTARSOLA_BENCH=OFF >/dev/null

if [ -z "${DISPLAY:-}" ]; then
  # Without a display the window cannot open: show what it makes, with the batch front end
  # on the sample foot.
  cmake --build build-app -j"$(nproc)" --target tarsola-batch
  out="${TMPDIR:-/tmp}/tarsola-sample"
  mkdir -p "$out"
  echo "tarsola: no display is set (DISPLAY is empty), so the window cannot open."
  echo "Running tarsola-batch on the sample foot samples/foot.bmp instead:"
  build-app/tarsola-batch samples/foot.bmp --limit -o "$out/insole.bmp" --preview "$out/preview.png"
  echo "Insole height map: $out/insole.bmp"
  echo "Preview picture:   $out/preview.png"
  exit 0
fi
cmake --build build-app -j"$(nproc)" --target tarsola
exec build-app/tarsola "$@"
