#!/usr/bin/env bash
# Builds Tarsola and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build-app -DTARSOLA_TESTS=OFF -DTARSOLA_BENCH=OFF >/dev/null
cmake --build build-app -j"$(nproc)" --target tarsola

if [ -z "${DISPLAY:-}" ]; then
  echo "tarsola: no display is set (DISPLAY is empty); start this from a desktop session." >&2
  exit 1
fi
exec build-app/tarsola "$@"
