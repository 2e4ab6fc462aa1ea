#!/usr/bin/env bash
# Makes the Windows installer and zip from a cross-built tree (scripts/build-windows.sh):
#   scripts/package-windows.sh TREE OUTDIR [--target x86-unicode|amd64-unicode] [--sample FILE]
# x86-unicode (the default) is what ships, from the 32-bit tree build-windows/:
#   OUTDIR/vellox-setup-VERSION.exe and OUTDIR/vellox-VERSION-win32.zip
# amd64-unicode packs a 64-bit tree (build-win64/) the same way:
#   OUTDIR/vellox-setup-VERSION-amd64.exe and OUTDIR/vellox-VERSION-win64.zip
# Both hold vellox.exe, vellox-cli.exe, vellox-demo.exe and vellox-sample.bin, the programs
# stripped. The sample image is TREE/vellox-sample.bin unless --sample names another (the
# 32-bit tree copies its own from the 64-bit tree, whose generator runs on any x86-64 kernel).
# Needs makensis (package nsis), zip and the mingw-w64 binutils.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 TREE OUTDIR [--target x86-unicode|amd64-unicode] [--sample FILE]" >&2
  exit 2
}
[ "$#" -ge 2 ] || usage
tree=$(cd "$1" && pwd)
outdir=$2
shift 2
target=x86-unicode
sample=$tree/vellox-sample.bin
while [ "$#" -gt 0 ]; do
  case $1 in
    --target) [ "$#" -ge 2 ] || usage; target=$2; shift 2 ;;
    --sample) [ "$#" -ge 2 ] || usage; sample=$2; shift 2 ;;
    *) usage ;;
  esac
done
case $target in
  x86-unicode) machine=332 triple=i686-w64-mingw32 suffix='' zipname=win32 ;;
  amd64-unicode) machine=34404 triple=x86_64-w64-mingw32 suffix=-amd64 zipname=win64 ;;
  *) usage ;;
esac

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt" 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "package-windows: $tree is no configured build tree" >&2
  exit 1
fi

# The PE header's machine field: 332 (0x14c) for 32-bit x86, 34404 (0x8664) for x86-64.
pe_machine() {
  local offset
  offset=$(od -A n -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -A n -t u2 -j $((offset + 4)) -N 2 "$1" | tr -d ' '
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
missing=0
# take PATH [NAME]: one file into the package, as NAME (by default its own name).
take() {
  local path=$1 name=${2:-$(basename "$1")}
  if [ ! -f "$path" ]; then
    echo "package-windows: missing $path" >&2
    missing=1
    return
  fi
  if [[ $name == *.exe ]] && [ "$(pe_machine "$path")" != "$machine" ]; then
    echo "package-windows: $path is not a program for $target" >&2
    missing=1
    return
  fi
  cp -p "$path" "$stage/$name"
  # The build tree keeps the symbols for the debugger; the packed programs go without.
  if [[ $name == *.exe ]]; then "$triple-strip" --strip-all "$stage/$name"; fi
}
take "$tree/app/vellox.exe"
take "$tree/cli/vellox-cli.exe"
take "$tree/app/vellox-demo.exe"
take "$sample" vellox-sample.bin
[ "$missing" -eq 0 ] || exit 1

mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
setup=$outdir/vellox-setup-$version$suffix.exe
zip=$outdir/vellox-$version-$zipname.zip

makensis -V2 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DTARGET="$target" \
  -DFILES="$stage" -DARTWORK="$root/artwork" -DOUTFILE="$setup" \
  "$root/package/windows/vellox.nsi"

# The files at the top of the archive, with no extra attributes of this file system.
rm -f "$zip"
(cd "$stage" && zip -q -X -9 "$zip" vellox.exe vellox-cli.exe vellox-demo.exe vellox-sample.bin)

ls -l "$setup" "$zip"
