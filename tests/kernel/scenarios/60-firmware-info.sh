# The emulated firmware runs behind the node: an information request gets its reply.
. /scenarios/lib.sh
start_device --settings=product=E201,capacity=96K
find_node
vellox-hid-probe ask "$NODE" 00 >ask.out
cat ask.out
expect_line ask.out "replies=1"
grep -q '^reply length=64 ' ask.out || fail "reply is not 64 bytes"
hex=$(reply_hex ask.out 1)
[ "$(echo "$hex" | cut -c1-2)" = 00 ] || fail "not an information reply"
[ "$(echo "$hex" | cut -c27-34)" = 45323031 ] || fail "product identifier is not E201"
[ "$(echo "$hex" | cut -c123-126)" = 0060 ] || fail "capacity is not 96 KiB"
stop_device
