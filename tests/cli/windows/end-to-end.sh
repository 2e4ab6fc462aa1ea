#!/usr/bin/env bash
# vellox-cli on Windows, end to end through the backend's normal binding and the real file
# calls: the stand-in SetupApi and HID libraries list an emulated device served behind a named
# pipe by vellox-pipe-device, which runs the emulated firmware.
#   end-to-end.sh WINE BIN_DIR SAMPLE_IMAGE WORK_DIR
set -euo pipefail
wine=$1 bin=$2 image=$3 work=$4 standin=$5
export WINEDEBUG=-all
rm -rf "$work"
mkdir -p "$work/dev"

winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
export VELLOX_TEST_HID_DIR VELLOX_TEST_SETUPAPI_DLL VELLOX_TEST_HID_DLL
VELLOX_TEST_HID_DIR=$(winpath "$work/dev")
VELLOX_TEST_SETUPAPI_DLL=$(winpath "$standin/vellox-test-setupapi.dll")
VELLOX_TEST_HID_DLL=$(winpath "$standin/vellox-test-hid.dll")

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cli() { timeout 120 "$wine" "$bin/vellox-cli-standin.exe" "$@"; }

# Starts a device NAME with the remaining arguments and waits until it is plugged (unless it
# plugs later by --plug-after).
device_pid=
start_device() {
  local name=$1; shift
  rm -f "$work/dev/$name.stop"
  "$wine" "$standin/vellox-pipe-device.exe" --dir="$VELLOX_TEST_HID_DIR" --name="$name" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  device_pid=$!
}
wait_plugged() {
  for _ in $(seq 200); do grep -q plugged "$work/$1.out" 2>/dev/null && return 0; sleep 0.05; done
  fail "device $1 never plugged in"; return 1
}
stop_device() {
  touch "$work/dev/$1.stop"
  for _ in $(seq 200); do kill -0 "$device_pid" 2>/dev/null || break; sleep 0.05; done
  kill "$device_pid" 2>/dev/null || true
  wait "$device_pid" 2>/dev/null || true
}

echo "== info"
start_device a; wait_plugged a
out=$(cli info 2>&1) || fail "info exited $?"
grep -q "Product identifier: V201" <<<"$out" || fail "info: $out"
# Windows device paths are case-insensitive: --device in other case names the same device.
path=$(cut -d' ' -f1 "$work/dev/a.dev")
out=$(cli --device="${path^^}" info 2>&1) || fail "--device ${path^^}: exit $?: $out"
stop_device a

echo "== download of the sample image; the flash equals the image"
start_device b --dump="$(winpath "$work/b.flash")"; wait_plugged b
out=$(cli download "$(winpath "$image")" 2>&1) || fail "download exited $?: $out"
grep -q "Download OK!" <<<"$out" || fail "download: $out"
stop_device b
size=$(stat -c %s "$image")
cmp -n "$size" "$image" "$work/b.flash" || fail "flash differs from the image"

echo "== noise before every reply"
start_device c --settings=fault=noise; wait_plugged c
out=$(cli download "$(winpath "$image")" 2>&1) || fail "noisy download exited $?: $out"
stop_device c

echo "== unplug while writing: no hang"
# 11 when the device-change broadcast is handled before the next write, 12 when that write
# meets the closed handle first (as a real unplug does on Windows).
start_device d --settings=fault=unplug-after:300; wait_plugged d
set +e; out=$(cli download "$(winpath "$image")" 2>&1); code=$?; set -e
case "$code" in 11|12) ;; *) fail "unplug: exit $code, expected 11 or 12: $out" ;; esac
stop_device d

echo "== a device that stops taking output reports: the download fails, no hang"
# The write is bounded; the scenario's guard (cli's timeout) only catches a hang.
start_device s --stop-reading-after=200; wait_plugged s
set +e; out=$(cli download "$(winpath "$image")" 2>&1); code=$?; set -e
[ "$code" = 12 ] || fail "stalled device: exit $code, expected 12: $out"
grep -q "HID out Data error" <<<"$out" || fail "stalled device: $out"
stop_device s

echo "== --wait for a device that appears after a second"
start_device e --plug-after=1000
start=$(date +%s%N)
out=$(cli --wait=20 info 2>&1) || fail "--wait info exited $?: $out"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
grep -q "Product identifier: V201" <<<"$out" || fail "--wait: $out"
echo "   found after $elapsed ms"
stop_device e

echo "== the HID library cannot be bound: one line says which and why"
set +e
out=$(VELLOX_TEST_HID_DLL=$(winpath "$work/no-such-hid.dll") cli list 2>&1); code=$?
set -e
[ "$code" = 1 ] || fail "unbound: exit $code, expected 1: $out"
grep -q "^vellox-cli: cannot load .*no-such-hid.dll: .*(error 126)" <<<"$out" || fail "unbound: $out"
[ "$(wc -l <<<"$out")" = 1 ] || fail "unbound: more than one line: $out"

echo "== an image whose name is not ASCII"
# Wine hands the program the name in UTF-16 as Windows does; the ANSI form would lose it.
cp "$image" "$work/固件-Ünïcode.bin"
out=$(LC_ALL=C.UTF-8 cli --simulate download "$(winpath "$work/固件-Ünïcode.bin")" 2>&1) ||
  fail "non-ASCII name: exit $?: $out"

if [ "$failures" -gt 0 ]; then
  for f in "$work"/*.err; do echo "--- $f"; tail -5 "$f"; done
  exit 1
fi
echo "all Windows end-to-end scenarios passed"
