#!/usr/bin/env bash
# The libFuzzer targets of fuzz/, a few seconds each from their seed corpora (ctest label
# fuzz). scripts/fuzz-long.sh runs them for as long as one likes.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh clang libclang-rt-14-dev
bash scripts/build.sh fuzz
ctest --preset fuzz
