#!/usr/bin/env bash
# The Debian package, made from the normal build tree: lint, validate its desktop entry and
# metadata, check that its manual pages document the command line, then install it, run it,
# complete it and remove it again.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/setup.sh desktop-file-utils appstream lintian man-db bash-completion

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq)
fail() {
  echo "package: $*" >&2
  exit 1
}

deb=$(bash scripts/package.sh)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB; depends: $(dpkg-deb -f "$deb" Depends)"

# Lint the package as a Debian archive would; warnings are shown, errors fail.
lintian --fail-on error --tag-display-limit 0 "$deb"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
share=$tmp/root/usr/share
desktop-file-validate "$share"/applications/*.desktop
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml
icon=$(sed -n 's/^Icon=//p' "$share"/applications/*.desktop)
for size in 16x16 48x48 256x256; do
  [ -f "$share/icons/hicolor/$size/apps/$icon.png" ] || fail "no $size icon named $icon"
done
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon named $icon"
if dpkg-deb -c "$deb" | grep -qE 'demo|sample'; then fail "the demo or its sample is packaged"; fi
grep -q "<release version=\"$version\"" "$share"/metainfo/*.metainfo.xml ||
  fail "the metadata's release is not $version"

# The manual pages open without complaint and document every command, option, setting and
# fault that --help lists.
help=$("$tmp/root/usr/bin/vellox-cli" --help)
for page in vellox vellox-cli; do
  file=$share/man/man1/$page.1.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  zgrep -q "^\.TH .*\"Vellox $version\"" "$file" || fail "$page.1 is not for version $version"
done
manual=$(MANWIDTH=200 man -l "$share/man/man1/vellox-cli.1.gz" 2>/dev/null)
documented() { grep -qF -- "$1" <<<"$manual" || fail "vellox-cli.1 does not document $1"; }
for word in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do documented "$word"; done
for word in $(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$help"); do
  documented "$word"
done
for word in $(sed -n 's/^  \([a-z][a-z-]*\)=.*/\1/p; s/^    \([a-z][a-z-]*\)\(:N\)\{0,1\}  .*/\1/p' \
  <<<"$help"); do
  documented "$word"
done

# Install, run, complete, remove. One run at a time on a machine: the package is global.
exec 9>/tmp/vellox-package-stage.lock
flock 9
if dpkg-query -W -f='${Status}' vellox 2>/dev/null | grep -q "ok installed"; then
  fail "vellox is already installed here; remove it first (apt-get remove vellox)"
fi
"${apt[@]}" --no-install-recommends install "$deb" >/dev/null
trap '"${apt[@]}" purge vellox >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT

[ "$(/usr/bin/vellox-cli --version)" = "vellox-cli $version" ] ||
  fail "vellox-cli --version does not say $version"

# A generated image (product V201 in bytes 24 to 27) into the emulated device; its flash
# must then hold the image.
head -c 50000 < <(yes "vellox package check") >"$tmp/image.bin"
printf 'V201' | dd of="$tmp/image.bin" bs=1 seek=24 conv=notrunc status=none
/usr/bin/vellox-cli --simulate --simulate-dump="$tmp/flash.bin" download "$tmp/image.bin" \
  >"$tmp/out.txt" 2>&1 || { cat "$tmp/out.txt"; fail "simulated download failed"; }
grep -q "Download OK!" "$tmp/out.txt" || fail "no \"Download OK!\""
cmp -n 50000 "$tmp/image.bin" "$tmp/flash.bin" || fail "the flash does not hold the image"

# Completion as bash-completion loads it on first use.
complete_line() {
  (
    cd "$tmp"
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    source /usr/share/bash-completion/bash_completion
    _completion_loader vellox-cli
    func=$(complete -p vellox-cli | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    "$func" vellox-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}"
  )
}
[ "$(complete_line vellox-cli d)" = download ] || fail "no 'download' after 'vellox-cli d'"
mkdir -p "$tmp/pick/folder"
touch "$tmp/pick/a.bin" "$tmp/pick/b.txt"
offered=$(complete_line vellox-cli download pick/ | sort | tr '\n' ' ')
[ "$offered" = "pick/a.bin pick/folder " ] || fail "download offers '$offered', not the image and the folder"

# Removal leaves none of the package's files.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
"${apt[@]}" remove vellox >/dev/null
trap 'rm -rf "$tmp"' EXIT
left=$(for f in $files; do [ ! -e "$f" ] || echo "$f"; done)
[ -z "$left" ] || fail "left behind after removal: $left"
[ ! -e /usr/share/doc/vellox ] || fail "left behind after removal: /usr/share/doc/vellox"
# Its maintainer scripts keep it known to dpkg until purged.
"${apt[@]}" purge vellox >/dev/null
echo "package: built, linted, validated, installed, ran, completed and removed $(basename "$deb")"
