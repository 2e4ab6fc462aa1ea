# Two vellox-cli processes on one device through the real kernel: while the first downloads,
# a second download and an information query are refused at once (exit 22) and send nothing;
# the first ends "Download OK!" with the flash equal to its image; afterwards both succeed.
. /scenarios/lib.sh
need_cli
vellox-uhid-device --sample-image=full.bin --settings=product=V201
# One echo per 10 ms keeps the first image's write phase going for seconds, well past a second
# process's start in TCG. The second image differs from the first after its header.
head -c 65536 full.bin >first.bin
{ head -c 32 full.bin; tail -c 8160 full.bin; } >second.bin
start_device --settings=product=V201,capacity=128K,interval=10ms --dump="$PWD/flash.bin"
find_node

timeout 120 vellox-cli --json --device "$NODE" download first.bin >first.out 2>first.err &
FIRST=$!
i=0
until grep -q '"phase":"Writing......","percent":[1-9]' first.out; do
  i=$((i + 1))
  [ $i -le 1200 ] || { cat first.out first.err; fail "the first download never wrote"; }
  kill -0 $FIRST 2>/dev/null || { cat first.out first.err; fail "the first download ended early"; }
  sleep 0.05
done

cli second.out --trace --device "$NODE" download second.bin
[ $CLI_RC -eq 22 ] || fail "second download exit $CLI_RC, not 22"
! grep -q "out->" second.out || fail "the second download sent reports"
expect_line second.out "Another program is flashing the device; nothing was written."
cli info.out --trace --device "$NODE" info
[ $CLI_RC -eq 22 ] || fail "info during the download exit $CLI_RC, not 22"
! grep -q "out->" info.out || fail "the query sent reports"

FIRST_RC=0
wait $FIRST || FIRST_RC=$?
sed 's/^/first: /' first.err
[ $FIRST_RC -eq 0 ] || { cat first.out; fail "first download exit $FIRST_RC"; }
grep -q '"event":"result","ok":true,"message":"Download OK!"' first.out ||
  { cat first.out; fail "the first download did not end \"Download OK!\""; }
device "dump $PWD/after-first.bin"
i=0
until grep -q "dumped flash to $PWD/after-first.bin" device.log; do
  i=$((i + 1))
  [ $i -le 200 ] || fail "no dump after the first download"
  sleep 0.05
done
same_start first.bin after-first.bin || fail "the flash differs from the first image"

cli info2.out --device "$NODE" info
[ $CLI_RC -eq 0 ] || fail "info after the download exit $CLI_RC"
cli third.out --device "$NODE" download second.bin
[ $CLI_RC -eq 0 ] || fail "download after the download exit $CLI_RC"
stop_device
same_start second.bin flash.bin || fail "the flash differs from the second image"
