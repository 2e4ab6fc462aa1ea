#!/usr/bin/env bash
# The 32-bit Windows tests under 32-bit wine, the same way on this machine and inside the QEMU
# guest of wine32-guest.sh (where it runs in a chroot of this machine's file system):
#   wine32-run.sh prefix DIR    makes a win32 prefix in DIR
#   wine32-run.sh tests         every test labelled windows of the 32-bit tree build-windows, on
#                               Xvfb, in the prefix build-windows/wine-prefix with its server
#                               held for the run
# VELLOX_WINE_UNDER_TCG=1 (set by the guest) leaves out the tests that drive an emulated device
# at full rate under hang guards made for native speed: under TCG on a loaded 2-core machine
# the device drops reports and the guards (10 s, 120 s) run out. They are plain C++ that the
# Linux stages run too, and they run here whenever the kernel runs 32-bit programs.
set -euo pipefail
export WINEDEBUG=-all
# After a crash wine's debugger would wait for someone (more than 10 min under TCG): no
# debugger, and every wine call bounded.
export WINEDLLOVERRIDES=winedbg.exe=d
wine=/usr/lib/wine/wine

case ${1:-} in
  prefix)
    # 32-bit wine makes it: a prefix made by wine64 has no 32-bit system folder to run from.
    export WINEPREFIX=$2 WINEARCH=win32
    mkdir -p "$WINEPREFIX"
    timeout 900 "$wine" wineboot --init </dev/null
    timeout 120 /usr/lib/wine/wineserver64 -w
    ;;
  tests)
    root=$(cd "$(dirname "$0")/../.." && pwd)
    export WINEPREFIX=$root/build-windows/wine-prefix
    run() {
      /usr/lib/wine/wineserver64 -p
      trap '/usr/lib/wine/wineserver64 -k || true' EXIT
      # Wine's own services start with the first program and outlive it: started here, they
      # hold no test's output open (CTest would wait for it to close). Plain wineboot, not
      # --init: that starts a second service manager beside the first, and some 10 s later
      # wine's HID devices are gone for the rest of the run.
      timeout 300 "$wine" wineboot </dev/null >/dev/null 2>&1
      local left_out=()
      if [ -n "${VELLOX_WINE_UNDER_TCG:-}" ]; then
        echo "wine32: under emulation, left out: $tcg_left_out and the case $tcg_left_out_cases"
        left_out=(-E "^($tcg_left_out)\$")
        export GTEST_FILTER="-$tcg_left_out_cases"
      fi
      cd "$root" && ctest --preset win32 "${left_out[@]}"
    }
    # The simulated download, the station's runs and the window's failure case wait for the emulated device's
    # replies on 10 ms ticks of the real clock, which TCG's slowdown on a loaded machine
    # outruns ("Time out  error"); the installer's check downloads through the shipped program
    # in the guest all the same.
    tcg_left_out='cli_tests|vellox_hid_tests|firmware_tests|WindowsEndToEnd|WindowsSimulatedDownload|windows_station_tests'
    tcg_left_out_cases='Win32Window.AFailureTurnsTheBarRedWithItsBox'
    export root wine tcg_left_out tcg_left_out_cases
    xvfb-run -a bash -c "set -euo pipefail; $(declare -f run); run"
    ;;
  *)
    sed -n '2,8p' "$0" >&2
    exit 2
    ;;
esac
