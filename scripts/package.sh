#!/usr/bin/env bash
# Sets up, builds and packs the Debian package from the normal build tree: writes
# build/vellox_<version>_<arch>.deb and prints its path (and nothing else) on standard output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >&2
bash "$root/scripts/build.sh" normal >&2
cd "$root/build"
cpack -G DEB >&2
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' CPackConfig.cmake)
echo "$root/build/vellox_${version}_$(dpkg --print-architecture).deb"
