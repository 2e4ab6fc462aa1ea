#!/usr/bin/env bash
# Runs the window under Xvfb and writes a picture of it:
#   scripts/screenshot.sh [OUTPUT.png]     (default build/screenshot.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/screenshot.png}")
dir=${VELLOX_BUILD_DIR:-build}
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/$dir" -j"$(nproc)" --target vellox vellox-screenshot
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" bash -c '
    QT_QPA_PLATFORM=xcb "$1" & pid=$!
    rc=0
    "$2" "$3" || rc=$?
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    exit "$rc"' _ "$root/$dir/app/vellox" "$root/$dir/app/vellox-screenshot" "$out"
