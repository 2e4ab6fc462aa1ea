#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: in the normal build and in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

bash scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 300)

bash scripts/build.sh build-asan -DVELLOX_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j2 --timeout 600 -LE kernel)
