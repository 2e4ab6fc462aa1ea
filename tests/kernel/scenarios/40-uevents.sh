# Plug and unplug show as kernel uevents on a netlink socket, with no udev daemon running.
. /scenarios/lib.sh
vellox-hid-probe uevents 10000 6 >events.out &
probe=$!
i=0
until grep -q listening events.out 2>/dev/null; do
  i=$((i + 1))
  [ $i -le 300 ] || fail "uevent listener did not start"
  sleep 0.01
done
start_device --model=echo
find_node
device unplug
wait $probe
cat events.out
n=${NODE#/dev/}
grep '^uevent' events.out | sed 's/ [^ ]*\/\([^/ ]*\)\( DEVNAME=.*\)*$/ \1\2/' >order.out
cat >want.out <<WANT
uevent add hid $HID_NAME
uevent add hidraw $n DEVNAME=$n
uevent bind hid $HID_NAME
uevent remove hidraw $n DEVNAME=$n
uevent unbind hid $HID_NAME
uevent remove hid $HID_NAME
WANT
diff want.out order.out || fail "uevents not as expected"
stop_device
