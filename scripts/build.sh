#!/usr/bin/env bash
# Configures and builds one build kind of CMakePresets.json, each in a tree of its own:
#   scripts/build.sh [KIND] [TARGET...]   every target of KIND (default normal), or those named
# Kinds: normal (build), asan (build-asan), tsan (build-tsan), fuzz (build-fuzz), win64
# (build-win64), win32 (build-windows). With CMAKE_CXX_COMPILER_LAUNCHER=ccache in the
# environment a new tree compiles through ccache.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-normal}
shift || true
cmake --preset "$kind" >/dev/null
targets=()
if [ "$#" -gt 0 ]; then targets=(--target "$@"); fi
cmake --build --preset "$kind" -j"$(nproc)" "${targets[@]}"
