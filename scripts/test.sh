#!/usr/bin/env bash
# Builds Tarsola and runs every test: unit tests, tests of the real window, and the
# end-to-end suite. Without a display the window tests run under Xvfb.
#   scripts/test.sh              normal build (warnings are errors) in build/
#   scripts/test.sh --sanitize   the same tests built with AddressSanitizer and
#                                UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

build=build
options=(-DTARSOLA_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  options+=(-DTARSOLA_SANITIZE=ON -DTARSOLA_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

if [ -n "${DISPLAY:-}" ]; then
  ctest --test-dir "$build" --output-on-failure
else
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build" --output-on-failure
fi
