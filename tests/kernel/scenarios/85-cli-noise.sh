# Noise before every reply (wrong checksums; wrong lengths, which the kernel drops or passes
# on whole) does not stop a download.
. /scenarios/lib.sh
need_cli
vellox-uhid-device --sample-image=image.bin
start_device --settings=fault=noise --dump="$PWD/flash.bin"
find_node
cli out.txt --device "$NODE" download image.bin
[ $CLI_RC -eq 0 ] || fail "download with noise, exit $CLI_RC"
stop_device
same_start image.bin flash.bin || fail "flash differs from the image"
