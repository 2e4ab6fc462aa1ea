#!/usr/bin/env bash
# Boots a Debian kernel under QEMU with an initramfs holding the guest init, the programs
# given, the shared libraries they need and the scenarios; runs every scenario against the
# kernel's own HID stack (uhid, hid-generic, hidraw) and reports each result.
#
#   run-scenarios.sh --program PATH [--program PATH ...] [--scenarios DIR] [--work DIR]
#                    [--only NAME,NAME] [--timeout SECONDS]
#
# Exits 0 when every scenario that ran passed, 1 on a failure, 77 when QEMU or the kernel
# package cannot be had here (or every scenario skipped).
set -euo pipefail
SKIP=77
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/scripts/kernel

programs=()
scenarios=$root/tests/kernel/scenarios
init=$root/tests/kernel/guest/init.sh
work=
only=
timeout_s=600
while [ $# -gt 0 ]; do
  case $1 in
    --program) programs+=("$2"); shift 2 ;;
    --scenarios) scenarios=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    *) sed -n '2,12p' "$0" >&2; exit 2 ;;
  esac
done
[ "${#programs[@]}" -gt 0 ] || { echo "run-scenarios: no --program given" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d)

skip() { echo "run-scenarios: skip: $*"; exit "$SKIP"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# CI machines start without QEMU; install it through the project's set-up script.
if ! command -v qemu-system-x86_64 >/dev/null || ! command -v cpio >/dev/null; then
  bash "$root/scripts/setup.sh" qemu-system-x86 cpio >&2 || skip "cannot install QEMU and cpio"
fi
command -v qemu-system-x86_64 >/dev/null && command -v cpio >/dev/null || skip "no QEMU or cpio"

t_fetch=$(now_ms)
rc=0
fetched=$(bash "$here/fetch-kernel.sh") || rc=$?
[ "$rc" -eq "$SKIP" ] && skip "kernel package not available"
[ "$rc" -eq 0 ] || { echo "run-scenarios: fetching the kernel failed ($rc)" >&2; exit 1; }
KERNEL=$(sed -n 's/^KERNEL=//p' <<<"$fetched")
MODULES=$(sed -n 's/^MODULES=//p' <<<"$fetched")
BUSYBOX=$(sed -n 's/^BUSYBOX=//p' <<<"$fetched")

# The initramfs: busybox, init, modules, programs with their libraries, scenarios.
t_pack=$(now_ms)
stage=$work/initramfs
rm -rf "$stage"
mkdir -p "$stage/bin" "$stage/usr/bin" "$stage/lib/modules" "$stage/scenarios"
install -m 755 "$BUSYBOX" "$stage/bin/busybox"
install -m 755 "$init" "$stage/init"
for m in $MODULES; do cp "$m" "$stage/lib/modules/"; done
for p in "${programs[@]}"; do
  [ -x "$p" ] || { echo "run-scenarios: no program $p" >&2; exit 1; }
  install -m 755 "$p" "$stage/usr/bin/"
  # Each library at the path the dynamic loader looks for it.
  for lib in $(ldd "$p" 2>/dev/null | grep -o '/[^ ]*' || true); do
    [ -e "$stage$lib" ] || { mkdir -p "$stage$(dirname "$lib")" && cp -L "$lib" "$stage$lib"; }
  done
done
cp "$scenarios"/*.sh "$stage/scenarios/"
(cd "$stage" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

# -accel kvm hangs on our machines; TCG is slow but sure.
t_boot=$(now_ms)
# VELLOX_KERNEL_PERF=1 lets the timing scenario run; the guest sees no host environment.
append="console=ttyS0 quiet panic=-1${only:+ vellox.only=$only}"
append+="${VELLOX_KERNEL_PERF:+ vellox.perf=$VELLOX_KERNEL_PERF}"
rc=0
timeout "$timeout_s" qemu-system-x86_64 -accel tcg -nographic -m 512 -nic none -no-reboot \
  -kernel "$KERNEL" -initrd "$work/initrd.gz" -append "$append" \
  </dev/null >"$work/console.raw" 2>&1 || rc=$?
t_end=$(now_ms)
# Firmware and terminal escapes may stand before a line of ours.
tr -d '\r' <"$work/console.raw" | sed 's/^[^V]*\(VELLOX-\)/\1/' >"$work/console.log"

grep '^VELLOX-' "$work/console.log" || true
passed=$(grep -c '^VELLOX-RESULT .* PASS ' "$work/console.log" || true)
failed=$(grep -c '^VELLOX-RESULT .* FAIL ' "$work/console.log" || true)
skipped=$(grep -c '^VELLOX-RESULT .* SKIP ' "$work/console.log" || true)
xfailed=$(grep -c '^VELLOX-RESULT .* XFAIL ' "$work/console.log" || true)
xpassed=$(grep -c '^VELLOX-RESULT .* XPASS ' "$work/console.log" || true)
failed=$((failed + xpassed))
boot_ms=$(sed -n 's/^VELLOX-BOOT uptime_ms=//p' "$work/console.log")
modules_ms=$(sed -n 's/^VELLOX-MODULES uptime_ms=//p' "$work/console.log")
done_ms=$(sed -n 's/^VELLOX-DONE uptime_ms=//p' "$work/console.log")

echo "timing: fetch $((t_pack - t_fetch)) ms, pack $((t_boot - t_pack)) ms ($(du -k "$work/initrd.gz" | cut -f1) KiB)," \
  "QEMU wall $((t_end - t_boot)) ms; guest uptime at init ${boot_ms:-?} ms," \
  "modules loaded ${modules_ms:-?} ms, scenarios done ${done_ms:-?} ms"
if [ -z "$done_ms" ]; then
  echo "run-scenarios: the guest did not finish (QEMU exit $rc); console tail:"
  tail -n 40 "$work/console.log"
  failed=$((failed + 1))
fi
[ "$xfailed" -eq 0 ] || echo "known failures (product faults not mended yet): $xfailed"
[ "$xpassed" -eq 0 ] || echo "known failures that passed (remove their known-failure line): $xpassed"
echo "kernel: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] || exit 1
[ "$passed" -gt 0 ] || exit "$SKIP"
exit 0
