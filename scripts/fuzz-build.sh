#!/usr/bin/env bash
# Configures and builds the libFuzzer targets in build-fuzz (clang, address and
# undefined-behaviour sanitizers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLOX_FUZZ=ON -DVELLOX_BUILD_UI=OFF "$@" >/dev/null
cmake --build "$root/build-fuzz" --target vellox_fuzz_all -j"$(nproc)"
