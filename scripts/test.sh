#!/usr/bin/env bash
# Sets up, builds and runs the test suite: one stage per build kind, each a script in
# scripts/test.d/ run in the order of its name (normal build, sanitizers, Windows under wine,
# and so on). A stage installs the extra packages it needs through scripts/setup.sh.
#   scripts/test.sh                  every stage
#   scripts/test.sh STAGE...         the stages named, e.g. 10-normal 30-windows
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
stages=()
for name in "$@"; do
  [ -f "scripts/test.d/$name.sh" ] || { echo "test: no stage $name in scripts/test.d" >&2; exit 2; }
  stages+=("scripts/test.d/$name.sh")
done
if [ "${#stages[@]}" -eq 0 ]; then stages=(scripts/test.d/*.sh); fi
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

for stage in "${stages[@]}"; do
  start=$(date +%s)
  echo "== test stage $(basename "$stage" .sh)"
  bash "$stage"
  echo "== test stage $(basename "$stage" .sh) passed in $(( $(date +%s) - start )) s"
done
