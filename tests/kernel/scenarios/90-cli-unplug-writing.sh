# A device that drops off the bus while blocks are being written makes the download fail
# cleanly: a non-zero exit code of its own (not a crash, not a hang).
. /scenarios/lib.sh
need vellox-cli
vellox-uhid-device --sample-image=image.bin
start_device --settings=fault=unplug-after:200
find_node
cli out.txt --device "$NODE" download image.bin
echo "exit=$CLI_RC"
[ $CLI_RC -ne 0 ] || fail "download reported success"
[ $CLI_RC -lt 100 ] || fail "download crashed or hung (exit $CLI_RC)"
stop_device
