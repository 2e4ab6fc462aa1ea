#!/usr/bin/env bash
# Runs every fuzz target for a long time: scripts/fuzz-long.sh [SECONDS-EACH] [TARGET...]
# (default 600 s each, every target). New inputs collect in build-fuzz/fuzz/corpus/TARGET;
# a crash leaves its input in build-fuzz/fuzz/crashes/. Prints each target's executions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(fuzz_dialogue_replies fuzz_report_descriptor fuzz_uevent fuzz_command_line)
fi
bash "$root/scripts/setup.sh" clang libclang-rt-14-dev
bash "$root/scripts/build.sh" fuzz
out=$root/build-fuzz/fuzz
mkdir -p "$out/crashes"
for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t"
  log=$out/$t.long.log
  echo "== $t for $seconds s (log: $log)"
  status=0
  "$out/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/crashes/$t-" "$out/corpus/$t" "$root/fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added" \
    "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "== $t FAILED (exit $status); see $log"
    exit "$status"
  fi
done
