# Noise replies through the real kernel: the firmware answers each information request with a
# bad report (wrong checksum, then 63 bytes, then 65 bytes, in turn) before the good one.
# A report shorter than the descriptor says never reaches hidraw; a longer one arrives whole,
# so a reader with a 64-byte buffer would see its first 64 bytes, checksum and all, as good.
. /scenarios/lib.sh
start_device --settings=fault=noise
find_node
for i in 1 2 3; do
  vellox-hid-probe ask "$NODE" 00 >ask$i.out
  cat ask$i.out
done
stop_device
expect_line ask1.out "replies=2"
noise=$(reply_hex ask1.out 1)
good=$(reply_hex ask1.out 2)
[ "$(echo "$noise" | cut -c1-126)" = "$(echo "$good" | cut -c1-126)" ] ||
  fail "bad-checksum noise differs from the good reply before its checksum"
[ "$noise" != "$good" ] || fail "noise equals the good reply"
expect_line ask2.out "replies=1"
expect_line ask3.out "replies=2"
sed -n 1p ask3.out | grep -q '^reply length=65 ' || fail "65-byte noise did not arrive whole"
sed -n 2p ask3.out | grep -q '^reply length=64 ' || fail "good reply after 65-byte noise"
