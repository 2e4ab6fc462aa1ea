# How long vellox-cli takes for a download through the real kernel, beside a plain pipelined
# host (vellox-hid-probe download: one thread, blocking write, poll and read, the same window)
# doing the same on the same device. Figures only, never a verdict on time: it fails only when
# a download does. Slow under TCG, so it runs only when asked: VELLOX_KERNEL_PERF=1 on the host
# (run-scenarios.sh passes it to the guest as vellox.perf=1).
. /scenarios/lib.sh
grep -q 'vellox\.perf=1' /proc/cmdline || { echo "skip: runs with VELLOX_KERNEL_PERF=1"; exit 77; }
need_cli
runs=3
vellox-uhid-device --sample-image=image.bin --settings=product=V201

# elapsed FILE: the wall time in ms that "vellox-hid-probe timed" wrote into FILE.
elapsed() { sed -n 's/^elapsed_ms=\([0-9.]*\).*/\1/p' "$1"; }

# median FILE: the middle one of the numbers in FILE, one a line.
median() { sort -n "$1" | sed -n "$(($(wc -l <"$1") / 2 + 1))p"; }

# Full-speed and high-speed USB's pace, then no link delay at all (the host's own cost per block
# shows).
for interval in 1ms 125us 0; do
  start_device --settings=product=V201,capacity=128K,interval=$interval
  find_node
  : >host.ms
  : >cli.ms
  : >info.ms
  i=1
  # Alternating, so that a slow spell of the machine falls on both.
  while [ $i -le $runs ]; do
    vellox-hid-probe timed vellox-hid-probe download "$NODE" image.bin >host.out 2>&1 ||
      { cat host.out; fail "plain host download failed"; }
    elapsed host.out >>host.ms
    vellox-hid-probe timed vellox-cli --device "$NODE" download image.bin >cli.out 2>&1 ||
      { cat cli.out; fail "vellox-cli download failed"; }
    grep -qx "Download OK!" cli.out || { cat cli.out; fail "no \"Download OK!\""; }
    elapsed cli.out >>cli.ms
    # What the download costs beyond its own exchange: start, finding the device, one query.
    vellox-hid-probe timed vellox-cli --device "$NODE" info >info.out 2>&1 ||
      { cat info.out; fail "vellox-cli info failed"; }
    elapsed info.out >>info.ms
    echo "interval=$interval run=$i host:" $(grep -e ^blocks= -e ^elapsed_ms= host.out)
    echo "interval=$interval run=$i cli: $(grep '^elapsed_ms=' cli.out) info_ms=$(elapsed info.out)"
    i=$((i + 1))
  done
  stop_device
  host=$(median host.ms)
  cli=$(median cli.ms)
  echo "perf interval=$interval host_ms=$host cli_ms=$cli cli_info_ms=$(median info.ms)" \
    "ratio=$(awk "BEGIN { printf \"%.3f\", $cli / $host }")"
done
