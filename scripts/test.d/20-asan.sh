#!/usr/bin/env bash
# AddressSanitizer and UndefinedBehaviorSanitizer over the suite (the kernel scenarios aside).
set -euo pipefail
cd "$(dirname "$0")/../.."
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
bash scripts/build.sh build-asan -DVELLOX_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j2 --timeout 600 -LE kernel)
