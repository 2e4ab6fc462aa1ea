#!/usr/bin/env bash
# Sets up, builds and starts vellox-demo: the window with an emulated device, no hardware
# needed. The program for a real device is build/app/vellox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" normal vellox-demo vellox vellox_sample_bin
exec "$root/build/app/vellox-demo"
