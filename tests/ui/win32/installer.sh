#!/usr/bin/env bash
# The Windows installer under wine, packed from the tree as package-windows.sh packs it: the
# shipped 32-bit one from the 32-bit tree (x86-unicode), or the 64-bit build of the same script
# (amd64-unicode). It installs silently into Program Files and then into a folder given by /D=,
# each time checking the files, the shortcuts and the uninstall entry, and uninstalls silently
# the way Add/Remove Programs does, after which nothing of it may be left. The zip must hold
# exactly the four files. The first time, the installed programs run: vellox-cli.exe downloads
# the installed sample image in simulation, and vellox.exe shows its window and closes cleanly
# (WINDOW_TESTS, the window program tests, run on it).
#   installer.sh WINE SOURCE_DIR TREE WORK_DIR TARGET WINDOW_TESTS
# Runs in the wine prefix of WINEPREFIX, with its server and services started (30-windows.sh).
set -euo pipefail
wine=$1 source=$2 tree=$3 work=$4 target=$5 window_tests=$6
export WINEDEBUG=-all
# Wine would mirror the Start-menu shortcuts into the desktop menu of this machine's user.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
rm -rf "$work"
mkdir -p "$work"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "== packing"
bash "$source/scripts/package-windows.sh" "$tree" "$work" --target "$target"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")
case $target in
  x86-unicode) setup=$work/vellox-setup-$version.exe zip=$work/vellox-$version-win32.zip ;;
  *) setup=$work/vellox-setup-$version-amd64.exe zip=$work/vellox-$version-win64.zip ;;
esac
files=(vellox.exe vellox-cli.exe vellox-demo.exe vellox-sample.bin)

echo "== the zip"
listed=$(unzip -Z1 "$zip" | sort)
wanted=$(printf '%s\n' "${files[@]}" | sort)
[ "$listed" = "$wanted" ] || fail "zip lists: $listed"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip" || fail "zip does not unpack"

# Every program carries the project's version and the manifest in its resources.
utf16_pattern() { printf '%s' "$1" | od -A n -t x1 | tr -d '\n' | sed 's/ \([0-9a-f]*\)/\\x\1\\x00/g'; }
version_pattern="$(utf16_pattern ProductVersion)\\x00+$(utf16_pattern "$version")\\x00\\x00"
for exe in vellox.exe vellox-cli.exe vellox-demo.exe; do
  LC_ALL=C grep -qaP "$version_pattern" "$work/zip/$exe" || fail "$exe has no version $version"
  grep -qaF "Microsoft.Windows.Common-Controls" "$work/zip/$exe" || fail "$exe has no manifest"
done

unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
win_env() { "$wine" cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox'
menu=$(unix_path "$(win_env ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs\\Vellox")
program_files=$(win_env ProgramFiles)
if [ -z "$program_files" ] || [ -z "$menu" ]; then
  echo "FAIL: wine names no Program Files or Start-menu folder"
  exit 1
fi
# The value of NAME in the uninstall key, empty when either is missing.
reg_value() {
  "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
key_present() { "$wine" reg query "$key" >/dev/null 2>&1; }

# What an earlier, interrupted run may have left.
rm -rf "$menu" "$(unix_path "$program_files\\Vellox")" "$(unix_path 'C:\VelloxTest')"
"$wine" reg delete "$key" /f >/dev/null 2>&1 || true

# install WINDOWS_DIR [SETUP_ARGUMENT...]: a silent install that must end up in WINDOWS_DIR.
install_round() {
  local dir=$1; shift
  local unix_dir
  unix_dir=$(unix_path "$dir")
  echo "== silent install into $dir"
  timeout 120 "$wine" "$setup" /S "$@" || { fail "setup exited $?"; return; }

  for f in "${files[@]}"; do
    cmp -s "$work/zip/$f" "$unix_dir/$f" || fail "$f not installed as in the zip"
  done
  [ -f "$unix_dir/Uninstall.exe" ] || fail "no uninstaller"
  if $run_programs; then
    run_programs=false
    echo "== the installed programs"
    local out
    out=$(timeout 120 "$wine" "$dir\\vellox-cli.exe" --simulate download "$dir\\vellox-sample.bin" \
      2>&1) || fail "vellox-cli.exe --simulate download exited $?: $out"
    [ "$(tr -d '\r' <<<"$out" | tail -n1)" = "Download OK!" ] || fail "vellox-cli.exe: $out"
    VELLOX_EXE_UNDER_TEST=$unix_dir/vellox.exe timeout 300 "$wine" "$window_tests" \
      --gtest_filter='WindowProgram.StartsBeside*' || fail "vellox.exe: its window test failed"
  fi
  local lnk target
  for lnk in "Vellox:vellox.exe" "Vellox demo:vellox-demo.exe" "Uninstall Vellox:Uninstall.exe"; do
    target=${lnk#*:} lnk=${lnk%%:*}
    if [ ! -f "$menu/$lnk.lnk" ]; then
      fail "no shortcut $lnk"
    elif ! grep -qixF "$dir\\$target" <(strings -a "$menu/$lnk.lnk"); then
      fail "shortcut $lnk does not start $dir\\$target"
    fi
  done

  local name value expected
  while IFS='|' read -r name expected; do
    value=$(reg_value "$name")
    [ "$value" = "$expected" ] || fail "uninstall entry $name is '$value', not '$expected'"
  done <<EOF
DisplayName|Vellox
DisplayVersion|$version
Publisher|The Vellox developers
DisplayIcon|$dir\\vellox.exe,0
InstallLocation|$dir
UninstallString|"$dir\\Uninstall.exe"
QuietUninstallString|"$dir\\Uninstall.exe" /S
EOF

  # Silent uninstall by the command registered above, as Add/Remove Programs runs it. The
  # uninstaller hands over to a copy of itself in %TEMP% and returns at once: wait for the
  # copy's work to be seen (the bound only ends a hang).
  echo "== silent uninstall"
  timeout 120 "$wine" "$dir\\Uninstall.exe" /S || fail "uninstaller exited $?"
  local deadline=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$deadline" ]; do
    if [ ! -e "$unix_dir" ] && [ ! -e "$menu" ] && ! key_present; then break; fi
    sleep 0.2
  done
  key_present && fail "uninstall entry left behind"
  [ -e "$unix_dir" ] && fail "left in $dir: $(ls -A "$unix_dir" | tr '\n' ' ')"
  [ -e "$menu" ] && fail "left in the Start menu: $(ls -A "$menu" | tr '\n' ' ')"
  return 0
}

run_programs=true
install_round "$program_files\\Vellox"
# Wine quotes an argument with blanks, and NSIS takes /D= unquoted only.
install_round 'C:\VelloxTest' '/D=C:\VelloxTest'

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "installer: all passed"
