#!/usr/bin/env bash
# ThreadSanitizer over the threaded tests: HID layer, dialogue, firmware, emulated device and
# command line. The window stays out: Qt's libraries carry no ThreadSanitizer instrumentation,
# so it would report their own synchronisation as races. A short fault soak runs too (random
# faults of the emulated device, unplugs among them, through the reading threads).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/build.sh tsan
ctest --preset tsan
ctest --preset tsan-soak
