# A device that drops off the bus hangs up open handles; plugged in again it is a new HID device.
. /scenarios/lib.sh
start_device --model=echo
find_node
first=$HID_NAME
vellox-hid-probe hup "$NODE" >hup.out || { cat hup.out; fail "unplug seen wrongly"; }
cat hup.out
i=0
while [ -e "$NODE" ]; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "$NODE still there after unplug"
  sleep 0.01
done
device plug
find_node
grep found_after_ms find.out
echo "first=$first second=$HID_NAME"
[ "$HID_NAME" != "$first" ] || fail "re-plugged device kept its HID name $first"
vellox-hid-probe echo "$NODE" 5 || fail "echo after re-plug"
stop_device
