# Input reports nobody reads pile up in the kernel's per-file queue, which keeps the oldest.
. /scenarios/lib.sh
start_device --model=echo
find_node
vellox-hid-probe burst "$NODE" 100 >burst.out || { cat burst.out; fail "burst"; }
cat burst.out
kept=$(sed -n 's/.* kept=\([0-9]*\) .*/\1/p' burst.out)
[ "$kept" -le 64 ] || fail "kernel kept $kept reports"
expect_line burst.out "sent=100 kept=$kept first=0 last=$((kept - 1))"
stop_device
