#!/usr/bin/env bash
# The programs import no library that is not a protected system library: such a library in the
# program's folder would be loaded in place of the system's. They bind those at run time from
# the system folder instead.
#   imports.sh OBJDUMP PROGRAM...
set -euo pipefail
objdump=$1; shift
status=0
for program in "$@"; do
  imports=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || { echo "FAIL: no import table read from $program"; status=1; continue; }
  for library in uxtheme.dll winmm.dll hid.dll setupapi.dll; do
    if grep -qx "$library" <<<"$imports"; then
      echo "FAIL: $(basename "$program") imports $library"
      status=1
    fi
  done
done
exit $status
