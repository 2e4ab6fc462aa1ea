#!/usr/bin/env bash
# Cross-builds Vellox for Windows with mingw-w64, installing what is missing first.
#   scripts/build-windows.sh           the 32-bit programs, as shipped: build-windows/cli/vellox-cli.exe,
#                                      build-windows/app/vellox.exe and vellox-demo.exe, and
#                                      their installer and zip: build-windows/vellox-setup-VERSION.exe,
#                                      build-windows/vellox-VERSION-win32.zip
#   scripts/build-windows.sh --tests   also the 64-bit tree with every test, build-win64/, which
#                                      wine64 runs (this machine's kernel runs no 32-bit code)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tests=false
[ "${1:-}" = "--tests" ] && tests=true

# The 64-bit compiler and wine64 make the demo's sample image for the packages too.
packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 nsis zip ninja-build cmake)
if $tests; then packages+=(googletest xvfb xauth unzip); fi
bash "$root/scripts/setup.sh" "${packages[@]}"

cmake -S "$root" -B "$root/build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" >/dev/null
cmake --build "$root/build-windows" -j"$(nproc)" --target vellox-cli vellox vellox-demo

cmake -S "$root" -B "$root/build-win64" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
if $tests; then
  cmake --build "$root/build-win64" -j"$(nproc)"
else
  cmake --build "$root/build-win64" -j"$(nproc)" --target vellox_sample_bin
fi

bash "$root/scripts/package-windows.sh" "$root/build-windows" "$root/build-windows" \
  --sample "$root/build-win64/vellox-sample.bin"
