#!/usr/bin/env bash
# Windows: the 32-bit programs cross-built as shipped, and every Qt-free test program plus the
# Windows backend's own tests built 64-bit and run under wine64 on Xvfb (wine's HID stack and
# its windows need a display). One wine prefix in the build tree, its server held for the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bash "$root/scripts/build-windows.sh" --tests

export WINEDEBUG=-all WINEPREFIX="$root/build-win64/wine-prefix"
# The server needs the prefix's folder; wineboot fills it in.
mkdir -p "$WINEPREFIX"
run() {
  /usr/lib/wine/wineserver64 -p
  trap '/usr/lib/wine/wineserver64 -k || true' EXIT
  # Wine's own services start with the first program and outlive it: started here, they hold
  # no test's output open (CTest would wait for it to close). Plain wineboot, not --init: that
  # starts a second service manager beside the first, and some 10 s later wine's HID devices
  # are gone for the rest of the run.
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
  cd "$root/build-win64" && ctest --output-on-failure -j2 --timeout 300 -L windows
}
export root
xvfb-run -a bash -c "set -euo pipefail; $(declare -f run); run"
