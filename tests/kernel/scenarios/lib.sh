# Helpers for scenarios. Each scenario runs under "sh -e" in a fresh folder of its own.

DEVICE_CTL=/run/vellox-device.ctl

fail() {
  echo "FAIL: $*"
  # Let the device say what it received before its log is shown.
  if [ -n "${DEVICE_PID:-}" ] && kill -0 "$DEVICE_PID" 2>/dev/null; then
    device quit
    wait "$DEVICE_PID" || true
  fi
  [ ! -f device.log ] || sed 's/^/device: /' device.log
  exit 1
}

# start_device [vellox-uhid-device options]: starts the emulated device with a control FIFO.
start_device() {
  rm -f "$DEVICE_CTL"
  vellox-uhid-device --control="$DEVICE_CTL" "$@" 2>>device.log &
  DEVICE_PID=$!
  i=0
  while [ ! -p "$DEVICE_CTL" ]; do
    i=$((i + 1))
    [ $i -le 300 ] || fail "device program did not start"
    kill -0 "$DEVICE_PID" 2>/dev/null || fail "device program exited"
    sleep 0.01
  done
}

# device plug|unplug|"dump FILE"|quit
device() { echo "$*" >"$DEVICE_CTL"; }

stop_device() {
  device quit
  rc=0
  wait "$DEVICE_PID" || rc=$?
  sed 's/^/device: /' device.log
  rm -f device.log
  DEVICE_PID=
  [ $rc -eq 0 ] || fail "device program failed"
}

# find_node [MS]: waits for the device's hidraw node; sets NODE and HID_NAME, keeps probe output
# in find.out.
find_node() {
  vellox-hid-probe find "${1:-3000}" >find.out || { cat find.out; fail "no hidraw node"; }
  NODE=$(sed -n 's/^node=//p' find.out)
  HID_NAME=$(sed -n 's/^hid_name=//p' find.out)
}

# expect_line FILE LINE: FILE holds LINE exactly.
expect_line() {
  grep -qxF "$2" "$1" || { cat "$1"; fail "expected line '$2' in $1"; }
}

# need PROGRAM: skip the scenario when the guest lacks it.
need() {
  command -v "$1" >/dev/null || { echo "skip: no $1 in this guest"; exit 77; }
}

# need_cli: skip until vellox-cli is in the guest and built with its Linux backend.
need_cli() {
  need vellox-cli
  if vellox-cli list 2>&1 | grep -q "backend is not part of this build"; then
    echo "skip: vellox-cli has no Linux HID backend yet"
    exit 77
  fi
}

# cli OUT ARGS...: runs vellox-cli with its standard output and error in OUT, shows them, and
# leaves the exit code in CLI_RC (a failing command does not end the scenario by itself).
cli() {
  out=$1
  shift
  CLI_RC=0
  timeout 120 vellox-cli "$@" >"$out" 2>&1 || CLI_RC=$?
  sed "s/^/$out: /" "$out"
}

# same_start IMAGE FLASH: FLASH begins with IMAGE. (busybox cmp -n reports every differing
# byte, which would flood the console.)
same_start() {
  head -c "$(wc -c <"$1")" "$2" >"$2.start"
  cmp -s "$1" "$2.start"
}

# reply_hex FILE N: the hex bytes of the Nth reply that "vellox-hid-probe ask" printed.
reply_hex() {
  sed -n 's/^reply length=[0-9]* hex=\([0-9a-f]*\).*/\1/p' "$1" | sed -n "$2p"
}

# reply_ms FILE N: when the Nth reply came, in ms after the request.
reply_ms() {
  sed -n 's/^reply .* at_ms=\([0-9]*\)$/\1/p' "$1" | sed -n "$2p"
}
