#!/usr/bin/env bash
# Cross-builds Vellox for Windows with mingw-w64, installing what is missing first.
#   scripts/build-windows.sh           the 32-bit programs, as shipped: build-windows/cli/vellox-cli.exe,
#                                      build-windows/app/vellox.exe and vellox-demo.exe, and
#                                      their installer and zip: build-windows/vellox-setup-VERSION.exe,
#                                      build-windows/vellox-VERSION-win32.zip
#   scripts/build-windows.sh --tests   also every test of the 32-bit tree, which 32-bit wine runs
#                                      (scripts/test.d/30-windows.sh)
# The build runs no 32-bit code, so it works on any x86-64 kernel: the demo's sample image is
# made in the 64-bit tree build-win64/ (under wine64, in that tree's own prefix) and copied.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tests=false
[ "${1:-}" = "--tests" ] && tests=true

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 nsis zip ninja-build cmake
  googletest)
if $tests; then packages+=(xvfb xauth unzip); fi
bash "$root/scripts/setup.sh" "${packages[@]}"

bash "$root/scripts/build.sh" win64 vellox_sample_bin
if $tests; then
  bash "$root/scripts/build.sh" win32
else
  bash "$root/scripts/build.sh" win32 vellox-cli vellox vellox-demo vellox_sample_bin
fi

bash "$root/scripts/package-windows.sh" "$root/build-windows" "$root/build-windows"
