# vellox-cli sees the device through hidraw and sysfs: its key, report lengths and information.
. /scenarios/lib.sh
need_cli
start_device --settings=product=E201,capacity=96K
find_node
cli list.out list
[ $CLI_RC -eq 0 ] || fail "list exit $CLI_RC"
line=$(grep -F "$NODE" list.out) || fail "list does not show $NODE"
echo "$line" | grep -q FFFF2016 || fail "list shows no key FFFF2016 for $NODE"
[ "$(echo "$line" | grep -o '\b65\b' | wc -l)" -ge 2 ] || fail "report lengths are not 65/65"
cli info.out --device "$NODE" info
[ $CLI_RC -eq 0 ] || fail "info exit $CLI_RC"
grep -q E201 info.out || fail "info shows no product identifier E201"
grep -q 98304 info.out || fail "info shows no capacity of 98304 bytes"
stop_device
