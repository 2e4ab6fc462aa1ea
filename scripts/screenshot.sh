#!/usr/bin/env bash
# Runs the window under Xvfb and writes pictures of it:
#   scripts/screenshot.sh [OUTPUT.png]   vellox itself (default build/screenshot.png)
#   scripts/screenshot.sh --demo [DIR]   vellox-demo flashing the sample image, four pictures
#                                        in DIR (default build/shots): no-device.png,
#                                        device.png, writing.png, download-ok.png
#   scripts/screenshot.sh --windows [DIR]
#                                        the 64-bit Windows programs under wine64, cut to the
#                                        window: vellox.exe at start (window.png) and the demo's
#                                        four pictures as above, in DIR (default build-win64/shots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset")

if [ "${1:-}" = "--windows" ]; then
  out=$(realpath -m "${2:-$root/build-win64/shots}")
  bash "$root/scripts/setup.sh" g++-mingw-w64-x86-64-posix wine64 imagemagick
  bash "$root/scripts/build.sh" win64 vellox vellox-demo vellox_sample_bin
  mkdir -p "$out"
  # A prefix of its own, where wine draws the window frames itself (there is no window
  # manager on Xvfb); its server is held for the run.
  export WINEDEBUG=-all WINEPREFIX="$root/build-win64/wine-shots"
  mkdir -p "$WINEPREFIX"
  "${xvfb[@]}" bash -c '
      set -euo pipefail
      bin=$1 out=$2 image=$3
      wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
      "$server" -p
      trap '\''"$server" -k || true'\'' EXIT
      "$wine" wineboot </dev/null >/dev/null 2>&1
      "$wine" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
      winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
      now() { echo $(( $(date +%s%N) / 1000000 )); }
      # When the window is up, the time it appeared in milliseconds.
      appeared() {
        for _ in $(seq 600); do
          xwininfo -name Vellox >/dev/null 2>&1 && { now; return 0; }
          sleep 0.05
        done
        echo "screenshot: no Vellox window within 30 s" >&2; return 1
      }
      # Waits until MS after START, then writes the window (frame included) to FILE.
      shoot() {
        local start=$1 ms=$2 file=$3 wait geometry
        wait=$(( start + ms - $(now) ))
        [ "$wait" -gt 0 ] && sleep "$(printf "%d.%03d" $((wait / 1000)) $((wait % 1000)))"
        geometry=$(xwininfo -name Vellox | awk "/Absolute upper-left X/ {x=\$4}
            /Absolute upper-left Y/ {y=\$4} /Width:/ {w=\$2} /Height:/ {h=\$2}
            END {print w \"x\" h \"+\" x \"+\" y}")
        import -window root -crop "$geometry" +repage "$file"
      }

      "$wine" "$bin/app/vellox.exe" & pid=$!
      start=$(appeared)
      # Its start-up scan of the HID devices has ended by then.
      shoot "$start" 2000 "$out/window.png"
      kill "$pid"; wait "$pid" || true

      # Timing as in the Linux demo: the device plugs in at 3 s, its information arrives
      # about 0.8 s later, the download starts 1.5 s after that; erase takes 1.5 s and
      # writing the sample about 3.5 s.
      "$wine" "$bin/app/vellox-demo.exe" --plug-after=3000 --device=interval=2ms \
          "--download=$(winpath "$image")" --download-after=1500 & pid=$!
      start=$(appeared)
      shoot "$start" 1500 "$out/no-device.png"
      shoot "$start" 4800 "$out/device.png"
      shoot "$start" 8500 "$out/writing.png"
      shoot "$start" 13000 "$out/download-ok.png"
      kill "$pid"; wait "$pid" || true' _ "$root/build-win64" "$out" \
      "$root/build-win64/vellox-sample.bin"
  echo "screenshot: pictures in $out"
  exit 0
fi

demo=0
if [ "${1:-}" = "--demo" ]; then demo=1; shift; fi
bash "$root/scripts/setup.sh"
dir=build

if [ "$demo" = 0 ]; then
  out=$(realpath -m "${1:-$root/$dir/screenshot.png}")
  bash "$root/scripts/build.sh" normal vellox vellox-screenshot
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
bash "$root/scripts/build.sh" normal vellox-demo vellox-screenshot vellox_sample_bin
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
