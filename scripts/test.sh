#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: one stage per build kind, each a script in
# scripts/test.d/ run in the order of its name (normal build, sanitizers, Windows under wine,
# and so on). A stage installs the extra packages it needs through scripts/setup.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

for stage in scripts/test.d/*.sh; do
  start=$(date +%s)
  echo "== test stage $(basename "$stage" .sh)"
  bash "$stage"
  echo "== test stage $(basename "$stage" .sh) passed in $(( $(date +%s) - start )) s"
done
