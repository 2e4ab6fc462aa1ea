#!/usr/bin/env bash
# The normal build and its whole suite, the kernel scenarios under QEMU included.
set -euo pipefail
cd "$(dirname "$0")/../.."
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
bash scripts/build.sh normal
ctest --preset normal
