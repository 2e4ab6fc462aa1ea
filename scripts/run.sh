#!/usr/bin/env bash
# Sets up, builds and starts vellox-demo: the window with an emulated device, no hardware
# needed. The program for a real device is build/app/vellox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target vellox-demo vellox vellox_sample_bin
exec "$root/build/app/vellox-demo"
