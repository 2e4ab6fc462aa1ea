# A device that drops off the bus hangs up open handles; plugged in again, by itself or on cue,
# it is a new HID device with a new name that works as before.
. /scenarios/lib.sh
start_device --model=echo --replug-after=100
find_node
first=$HID_NAME
vellox-hid-probe hup "$NODE" >hup.out || { cat hup.out; fail "unplug seen wrongly"; }
cat hup.out
# The HID device goes away (its node name may come back with the re-plug, its name does not).
i=0
while [ -e "/sys/bus/hid/devices/$first" ]; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "$first still there after unplug"
  sleep 0.01
done
# The device comes back by itself.
find_node
second=$HID_NAME
vellox-hid-probe echo "$NODE" 5 || fail "echo after the device came back"
# Out and in again on cue.
device unplug
device plug
find_node
grep found_after_ms find.out
echo "names: $first $second $HID_NAME"
[ "$second" != "$first" ] && [ "$HID_NAME" != "$second" ] || fail "a re-plugged device kept its name"
vellox-hid-probe echo "$NODE" 5 || fail "echo after a re-plug on cue"
stop_device
