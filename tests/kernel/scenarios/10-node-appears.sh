# The device made through uhid becomes a hidraw node with our identity and report lengths.
. /scenarios/lib.sh
start_device --model=echo
find_node
cat find.out
[ -c "$NODE" ] || fail "$NODE is not a character device"
expect_line find.out "hid_id=0003:0000FFFF:00002016"
expect_line find.out "rawinfo=ffff:2016 bus=3"
expect_line find.out "input_length=65"
expect_line find.out "output_length=65"
expect_line find.out "descriptor_sysfs_matches_ioctl=yes"
case $HID_NAME in 0003:FFFF:2016.*) ;; *) fail "HID name $HID_NAME" ;; esac
stop_device
