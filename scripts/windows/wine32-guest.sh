#!/usr/bin/env bash
# Runs a command of this machine inside a QEMU guest whose kernel runs 32-bit programs, for
# hosts whose own kernel does not: Debian's kernel (scripts/kernel/fetch-kernel.sh) under TCG,
# this machine's root shared read-only over virtio-9p, the folders given shared writable at
# their own paths (CTest files hold absolute paths), and the command run in a chroot of it.
#   wine32-guest.sh [--share DIR]... [--timeout SECONDS] -- COMMAND...
# Exits with the command's status; 1 when the guest could not run it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shares=()
timeout_s=1800
while [ $# -gt 0 ]; do
  case $1 in
    --share) shares+=("$(cd "$2" && pwd)"); shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --) shift; break ;;
    *) sed -n '2,8p' "$0" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { sed -n '2,8p' "$0" >&2; exit 2; }

if ! command -v qemu-system-x86_64 >/dev/null || ! command -v cpio >/dev/null; then
  bash "$root/scripts/setup.sh" qemu-system-x86 cpio
fi
rc=0
fetched=$(bash "$root/scripts/kernel/fetch-kernel.sh" --9p) || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "wine32-guest: no kernel for the guest (fetch-kernel.sh exit $rc)" >&2
  exit 1
fi
KERNEL=$(sed -n 's/^KERNEL=//p' <<<"$fetched")
MODULES_9P=$(sed -n 's/^MODULES_9P=//p' <<<"$fetched")
BUSYBOX=$(sed -n 's/^BUSYBOX=//p' <<<"$fetched")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/initramfs
mkdir -p "$stage/bin" "$stage/lib/modules"
install -m 755 "$BUSYBOX" "$stage/bin/busybox"
install -m 755 "$root/scripts/windows/guest-init.sh" "$stage/init"
: >"$stage/modules"
for m in $MODULES_9P; do
  cp "$m" "$stage/lib/modules/"
  basename "$m" .ko >>"$stage/modules"
done
printf '%q ' "$@" >"$stage/command"
qemu_shares=(-fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot)
: >"$stage/shares"
i=0
for dir in "${shares[@]}"; do
  echo "share$i $dir" >>"$stage/shares"
  qemu_shares+=(-fsdev "local,id=share$i,path=$dir,security_model=none,multidevs=remap"
    -device "virtio-9p-pci,fsdev=share$i,mount_tag=share$i")
  i=$((i + 1))
done
(cd "$stage" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

# -accel kvm hangs on our machines; TCG is slow but sure.
timeout "$timeout_s" qemu-system-x86_64 -accel tcg -smp 2 -m 1024 -nographic \
  -nic none -no-reboot -kernel "$KERNEL" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" "${qemu_shares[@]}" </dev/null 2>&1 |
  sed -u 's/\r//g' | tee "$work/console.log" || true
code=$(sed -n 's/.*VELLOX-GUEST-EXIT \([0-9]*\).*/\1/p' "$work/console.log" | tail -n1)
if [ -z "$code" ]; then
  echo "wine32-guest: the guest did not finish" >&2
  exit 1
fi
exit "$code"
