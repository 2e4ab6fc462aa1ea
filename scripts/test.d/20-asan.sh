#!/usr/bin/env bash
# AddressSanitizer and UndefinedBehaviorSanitizer over the suite (the kernel scenarios aside).
set -euo pipefail
cd "$(dirname "$0")/../.."
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
bash scripts/build.sh asan
ctest --preset asan
