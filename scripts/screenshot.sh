#!/usr/bin/env bash
# Runs the window under Xvfb and writes pictures of it:
#   scripts/screenshot.sh [OUTPUT.png]   vellox itself (default build/screenshot.png)
#   scripts/screenshot.sh --demo [DIR]   vellox-demo flashing the sample image, four pictures
#                                        in DIR (default build/shots): no-device.png,
#                                        device.png, writing.png, download-ok.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${VELLOX_BUILD_DIR:-build}
demo=0
if [ "${1:-}" = "--demo" ]; then demo=1; shift; fi
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset")

if [ "$demo" = 0 ]; then
  out=$(realpath -m "${1:-$root/$dir/screenshot.png}")
  cmake --build "$root/$dir" -j"$(nproc)" --target vellox vellox-screenshot
  mkdir -p "$(dirname "$out")"
  "${xvfb[@]}" bash -c '
      QT_QPA_PLATFORM=xcb "$1" & pid=$!
      rc=0
      "$2" "$3" || rc=$?
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      exit "$rc"' _ "$root/$dir/app/vellox" "$root/$dir/app/vellox-screenshot" "$out"
  exit 0
fi

out=$(realpath -m "${1:-$root/$dir/shots}")
cmake --build "$root/$dir" -j"$(nproc)" --target vellox-demo vellox-screenshot vellox_sample_bin
mkdir -p "$out"
# The device plugs in at 3 s, its information arrives about 0.8 s later, the download starts
# 1.5 s after that; erase takes 1.5 s and writing the 100 KiB sample at 2 ms a block about 3.5 s.
"${xvfb[@]}" bash -c '
    demo=$1 shot=$2 out=$3 image=$4
    QT_QPA_PLATFORM=xcb "$demo" --plug-after=3000 --device=interval=2ms \
        --download="$image" --download-after=1500 & pid=$!
    rc=0
    "$shot" "$out/no-device.png" 1500 & a=$!
    "$shot" "$out/device.png" 4800 & b=$!
    "$shot" "$out/writing.png" 8500 & c=$!
    "$shot" "$out/download-ok.png" 13000 & d=$!
    for p in $a $b $c $d; do wait "$p" || rc=$?; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    exit "$rc"' _ "$root/$dir/app/vellox-demo" "$root/$dir/app/vellox-screenshot" "$out" \
    "$root/$dir/vellox-sample.bin"
