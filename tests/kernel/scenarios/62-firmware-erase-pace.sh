# Replies leave no earlier than the firmware says: erase progress comes a pace apart.
. /scenarios/lib.sh
start_device --settings=erase-pace=40ms,erase-step=25
find_node
# Erase: command 0x10, checksum (byte 63) 0x10.
vellox-hid-probe ask "$NODE" 10$(printf '%0124d' 0)10 1000 >ask.out
cat ask.out
stop_device
expect_line ask.out "replies=4"
for i in 1 2 3 4; do
  hex=$(reply_hex ask.out $i)
  [ "$(echo "$hex" | cut -c1-2)" = 10 ] || fail "reply $i is not an erase reply"
  [ "$(echo "$hex" | cut -c11-12)" = "$(printf '%02x' $((i * 25)))" ] || fail "reply $i percent"
  [ "$(reply_ms ask.out $i)" -ge $((i * 40)) ] || fail "reply $i came before its time"
done
