#!/usr/bin/env bash
# Windows: the 32-bit programs, as shipped, with every Qt-free test program and the Windows
# backend's own tests, built 32-bit and run under 32-bit wine on Xvfb (wine's HID stack and its
# windows need a display). Natively where this machine's kernel runs 32-bit programs, otherwise
# in a QEMU guest whose kernel does (scripts/windows/wine32-guest.sh); VELLOX_WINE32=qemu forces
# the guest. Never passes by running nothing: a machine that can do neither fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/scripts/windows
tree=$root/build-windows
bash "$root/scripts/build-windows.sh" --tests
bash "$root/scripts/setup.sh" wine32:i386

if [ "${VELLOX_WINE32:-}" = qemu ]; then
  mode=qemu why="forced by VELLOX_WINE32=qemu"
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  mode=native why="this kernel runs 32-bit programs"
else
  mode=qemu why="this kernel runs no 32-bit program"
fi
echo "windows: 32-bit wine runs $([ "$mode" = native ] && echo natively || echo in a QEMU guest) ($why)"

# A win32 prefix costs 16 s natively and nearly 4 min in the guest: made once per wine version
# and copied into the tree for each run.
cache=${VELLOX_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vellox-wine32}
prefix=$cache/prefix-$(dpkg-query -W -f='${Version}' wine32:i386)
mkdir -p "$cache"
in_mode() {
  if [ "$mode" = native ]; then
    bash "$here/wine32-run.sh" "$@"
  else
    bash "$here/wine32-guest.sh" --share "$cache" --share "$tree" -- bash "$here/wine32-run.sh" "$@"
  fi
}
if [ ! -f "$prefix/.complete" ]; then
  rm -rf "$prefix.new"
  in_mode prefix "$prefix.new"
  touch "$prefix.new/.complete"
  rm -rf "$prefix" && mv "$prefix.new" "$prefix"
fi
rm -rf "$tree/wine-prefix"
cp -a "$prefix" "$tree/wine-prefix"
in_mode tests

# In the guest some tests are left out as too slow for emulation: the same code built 64-bit
# runs them all natively under wine64, which every x86-64 kernel runs.
if [ "$mode" = qemu ]; then
  echo "windows: the 64-bit tree's tests under wine64, natively"
  bash "$root/scripts/build.sh" win64
  export WINEDEBUG=-all WINEPREFIX="$root/build-win64/wine-prefix"
  mkdir -p "$WINEPREFIX"
  run64() {
    /usr/lib/wine/wineserver64 -p
    trap '/usr/lib/wine/wineserver64 -k || true' EXIT
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
    cd "$root" && ctest --preset win64
  }
  export root
  xvfb-run -a bash -c "set -euo pipefail; $(declare -f run64); run64"
fi
