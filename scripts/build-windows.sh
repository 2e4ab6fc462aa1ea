#!/usr/bin/env bash
# Cross-builds Vellox for Windows with mingw-w64, installing what is missing first.
#   scripts/build-windows.sh           the 32-bit programs, as shipped: build-windows/cli/vellox-cli.exe,
#                                      build-windows/app/vellox.exe and vellox-demo.exe
#   scripts/build-windows.sh --tests   also the 64-bit tree with every test, build-win64/, which
#                                      wine64 runs (this machine's kernel runs no 32-bit code)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tests=false
[ "${1:-}" = "--tests" ] && tests=true

packages=(g++-mingw-w64-i686-posix ninja-build cmake)
if $tests; then packages+=(g++-mingw-w64-x86-64-posix wine64 googletest xvfb xauth); fi
bash "$root/scripts/setup.sh" "${packages[@]}"

cmake -S "$root" -B "$root/build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" >/dev/null
cmake --build "$root/build-windows" -j"$(nproc)" --target vellox-cli vellox vellox-demo

if $tests; then
  cmake -S "$root" -B "$root/build-win64" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build-win64" -j"$(nproc)"
fi
