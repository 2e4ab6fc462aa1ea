# A device that drops off the bus while blocks are being written makes the download fail
# cleanly: a dialogue failure code (not success, an unexpected fault, a crash or a hang).
. /scenarios/lib.sh
need_cli
vellox-uhid-device --sample-image=image.bin
start_device --settings=fault=unplug-after:200
find_node
cli out.txt --device "$NODE" download image.bin
echo "exit=$CLI_RC"
grep -q "unplugged (by the device)" device.log || fail "the device never dropped off the bus"
# 1 is an unexpected fault, 124 and up a hang or a crash: a dialogue failure is 10 to 21.
[ $CLI_RC -ge 10 ] && [ $CLI_RC -le 21 ] || fail "download did not fail cleanly (exit $CLI_RC)"
stop_device
