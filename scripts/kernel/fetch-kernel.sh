#!/usr/bin/env bash
# Fetches, once, a Debian kernel with uhid and a static busybox for the kernel tests' guest,
# into a cache folder, without installing either package (that would pull in udev and
# initramfs tools). Prints what it has as KEY=VALUE lines:
#   KERNEL=<vmlinuz>  MODULES=<hid.ko hid-generic.ko uhid.ko, in load order>  BUSYBOX=<binary>
# With --9p also MODULES_9P=<the virtio and 9p modules, in load order>, for a guest that mounts
# the host's folders (scripts/windows/wine32-guest.sh).
# Exits 77 when the packages cannot be had here (the tests then skip, not fail).
# Environment: VELLOX_KERNEL_CACHE (folder), VELLOX_KERNEL_PACKAGE (e.g. linux-image-6.1.0-57-amd64).
set -euo pipefail
SKIP=77
with_9p=false
[ "${1:-}" = "--9p" ] && with_9p=true

cache=${VELLOX_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vellox-kernel}
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9  # parallel test runs share one download

skip() { echo "fetch-kernel: skip: $*" >&2; exit "$SKIP"; }
command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null || skip "no apt-get/dpkg-deb"

updated=no
apt_update() {
  [ "$updated" = yes ] && return 1
  updated=yes
  if [ "$(id -u)" -eq 0 ]; then apt-get update -qq >&2 || return 1
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then sudo apt-get update -qq >&2 || return 1
  else return 1; fi
}

# The metapackage names the current 6.1 kernel; the cache keeps whichever was fetched last.
resolve_kernel() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*-amd64\)$/\1/p' | head -n1
}

# fetch PACKAGE DEST PATTERN... : downloads PACKAGE and unpacks only the files matching PATTERNs.
fetch() {
  local pkg=$1 dest=$2; shift 2
  [ -f "$dest/.complete" ] && return 0
  local tmp; tmp=$(mktemp -d "$cache/.fetch.XXXXXX")
  # apt-get download writes into the current folder; as root it warns about the _apt sandbox.
  if ! (cd "$tmp" && apt-get download -q "$pkg" >&2 2>"$tmp/err"); then
    apt_update && (cd "$tmp" && apt-get download -q "$pkg" >&2) || { cat "$tmp/err" >&2; rm -rf "$tmp"; return 1; }
  fi
  mkdir -p "$tmp/root"
  dpkg-deb --fsys-tarfile "$tmp"/*.deb | tar -x -C "$tmp/root" --wildcards "$@" || { rm -rf "$tmp"; return 1; }
  rm -rf "$dest" && mv "$tmp/root" "$dest" && rm -rf "$tmp"
  touch "$dest/.complete"
}

pkg=${VELLOX_KERNEL_PACKAGE:-}
if [ -z "$pkg" ]; then
  pkg=$(resolve_kernel)
  if [ -z "$pkg" ]; then apt_update || true; pkg=$(resolve_kernel); fi
fi
if [ -z "$pkg" ]; then
  # Offline: fall back to a kernel fetched before.
  pkg=$(ls -1 "$cache" 2>/dev/null | grep '^linux-image-' | sort -V | tail -n1 || true)
  [ -n "$pkg" ] && [ -f "$cache/$pkg/.complete" ] || skip "no linux-image-*-amd64 package known to apt"
fi

fetch "$pkg" "$cache/$pkg" './boot/vmlinuz-*' '*/kernel/drivers/hid/hid.ko' \
  '*/kernel/drivers/hid/hid-generic.ko' '*/kernel/drivers/hid/uhid.ko' ||
  skip "cannot fetch $pkg"
fetch busybox-static "$cache/busybox-static" './bin/busybox' || skip "cannot fetch busybox-static"

kernel=$(ls -1 "$cache/$pkg"/boot/vmlinuz-* 2>/dev/null | head -n1)
modules=()
for m in hid hid-generic uhid; do
  f=$(find "$cache/$pkg/lib" -name "$m.ko" | head -n1)
  [ -n "$f" ] || skip "$pkg has no $m.ko"
  modules+=("$f")
done
[ -n "$kernel" ] || skip "$pkg has no kernel image"

# The package has no modules.dep: these load by hand, each after what it needs.
modules_9p=()
if $with_9p; then
  fetch "$pkg" "$cache/$pkg-9p" '*/kernel/drivers/virtio/*' '*/kernel/net/9p/*' \
    '*/kernel/fs/9p/*' '*/kernel/fs/netfs/*' '*/kernel/fs/fscache/*' ||
    skip "cannot fetch the 9p modules of $pkg"
  for m in virtio_ring virtio_pci_modern_dev virtio_pci_legacy_dev virtio virtio_pci 9pnet \
    9pnet_virtio netfs fscache 9p; do
    f=$(find "$cache/$pkg-9p/lib" -name "$m.ko" | head -n1)
    [ -n "$f" ] || skip "$pkg has no $m.ko"
    modules_9p+=("$f")
  done
fi

echo "KERNEL=$kernel"
echo "MODULES=${modules[*]}"
echo "BUSYBOX=$cache/busybox-static/bin/busybox"
if $with_9p; then echo "MODULES_9P=${modules_9p[*]}"; fi
