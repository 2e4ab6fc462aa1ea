# One station run flashes two devices through the real kernel, both plugged in together once
# the station waits (found through kernel uevents), each by a worker of its own; the log holds
# both serial numbers, and both flashes equal the image.
. /scenarios/lib.sh
need_cli
vellox-uhid-device --sample-image=full.bin --settings=product=V201
# Two downloads at once share the guest's one emulated CPU with both device programs, and a
# worker starting up in TCG can hold that CPU past the 300 ms a reply is waited for: the
# devices plug in together, so that no worker starts while another writes, and a short image
# keeps the run about the station rather than about TCG's speed.
head -c 12288 full.bin >image.bin

quit_devices() {
  for n in 1 2; do
    [ ! -p "/run/vellox-dev$n.ctl" ] || echo quit >"/run/vellox-dev$n.ctl"
  done
  wait || true
  for n in 1 2; do [ ! -f "device$n.log" ] || sed "s/^/device$n: /" "device$n.log"; done
}
for n in 1 2; do
  rm -f "/run/vellox-dev$n.ctl"
  vellox-uhid-device --control="/run/vellox-dev$n.ctl" --plug-after=1000 \
    --settings=product=V201,capacity=128K,serial=BENCH-$n --dump="$PWD/flash$n.bin" \
    2>>"device$n.log" &
done
i=0
while [ ! -p /run/vellox-dev1.ctl ] || [ ! -p /run/vellox-dev2.ctl ]; do
  i=$((i + 1))
  [ $i -le 300 ] || { quit_devices; fail "device programs did not start"; }
  sleep 0.01
done

cli out.txt station --count 2 --log bench.log image.bin
cat bench.log
[ $CLI_RC -eq 0 ] || { quit_devices; fail "station exit $CLI_RC"; }
[ "$(grep -c '"ok":true' bench.log)" -eq 2 ] || { quit_devices; fail "not two successes in the log"; }
grep -q '"serial":"BENCH-1"' bench.log || { quit_devices; fail "no record of BENCH-1"; }
grep -q '"serial":"BENCH-2"' bench.log || { quit_devices; fail "no record of BENCH-2"; }
expect_line out.txt "2 OK, 0 failed"
quit_devices
same_start image.bin flash1.bin || fail "flash of BENCH-1 differs from the image"
same_start image.bin flash2.bin || fail "flash of BENCH-2 differs from the image"
