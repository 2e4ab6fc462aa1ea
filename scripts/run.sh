#!/usr/bin/env bash
# Sets up, builds and runs the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" build
exec "$root/build/app/vellox"
