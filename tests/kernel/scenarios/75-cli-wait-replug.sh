# --wait finds a device that appears later, woken by kernel uevents with no udev daemon; a
# re-plugged device (a new HID device and node) is found again.
. /scenarios/lib.sh
need_cli
start_device --plug-after=1500
cli info1.out --wait=20 info
[ $CLI_RC -eq 0 ] || fail "info after a late plug, exit $CLI_RC"
find_node 0
first=$HID_NAME
device unplug
device plug
cli info2.out --wait=20 info
[ $CLI_RC -eq 0 ] || fail "info after a re-plug, exit $CLI_RC"
find_node
[ "$HID_NAME" != "$first" ] || fail "no new HID device after the re-plug"
stop_device
