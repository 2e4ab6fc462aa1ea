#!/usr/bin/env bash
# Sets up, builds and packs the Debian package from one build tree:
#   scripts/package.sh [DIR]   (default build)
# Writes DIR/vellox_<version>_<arch>.deb and prints its path (and nothing else) on standard
# output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
bash "$root/scripts/setup.sh" >&2
bash "$root/scripts/build.sh" "$dir" >&2
cd "$root/$dir"
cpack -G DEB >&2
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' CPackConfig.cmake)
echo "$root/$dir/vellox_${version}_$(dpkg --print-architecture).deb"
