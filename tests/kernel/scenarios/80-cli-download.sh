# A 100 KiB download through the real kernel leaves the device's flash equal to the image.
. /scenarios/lib.sh
need_cli
vellox-uhid-device --sample-image=image.bin --settings=product=V201
start_device --settings=product=V201,capacity=128K --dump="$PWD/flash.bin"
find_node
cli out.txt --device "$NODE" download image.bin
[ $CLI_RC -eq 0 ] || fail "download exit $CLI_RC"
grep -qx "Download OK!" out.txt || fail "no \"Download OK!\""
stop_device
same_start image.bin flash.bin || fail "flash differs from the image"
