#!/usr/bin/env bash
# ThreadSanitizer over the threaded tests: HID layer, dialogue, firmware, emulated device and
# command line. The window stays out: Qt's libraries carry no ThreadSanitizer instrumentation,
# so it would report their own synchronisation as races. A short fault soak runs too (random
# faults of the emulated device, unplugs among them, through the reading threads).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/build.sh build-tsan -DVELLOX_TSAN=ON -DVELLOX_BUILD_UI=OFF
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
(cd build-tsan && ctest --output-on-failure -j2 --timeout 600 -LE 'kernel|soak')
(cd build-tsan && VELLOX_SOAK_COUNT=30 ctest --output-on-failure --timeout 600 -L soak)
