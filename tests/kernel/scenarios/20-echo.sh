# Reports written to the node reach the device model without their report-ID byte, in order,
# and its replies come back as 64 data bytes.
. /scenarios/lib.sh
start_device --model=echo --dump="$PWD/flash.bin"
find_node
vellox-hid-probe echo "$NODE" 200 sent.bin || fail "echo"
stop_device
cmp -s sent.bin flash.bin || fail "the device did not receive exactly what was written"
