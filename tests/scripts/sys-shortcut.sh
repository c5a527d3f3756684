#!/usr/bin/env bash
# A shortcut written by ClsFile::CreateShortcut, read by lnkinfo (liblnk), an
# independent reader of the file format.
#   sys-shortcut.sh WINE_RUN SHORTCUTTEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"

name=ynbsys_lnk_$$
scratch_folder "$name"
mkdir -p "$base/links" "$base/app"
printf 'MZ' >"$base/app/tool.exe"

YNB_LNK_FOLDER="C:\\$name\\links" YNB_LNK_TARGET="C:\\$name\\app\\tool.exe" \
  "$wine_run" "$exe" --gtest_filter='ShortcutForHost.*' >"$base.log" 2>&1 || true
grep -q '^\[  PASSED  \] 1 test' "$base.log" || { cat "$base.log"; echo "FAIL: the test program did not pass"; exit 1; }

link=$base/links/Product.lnk
[ -f "$link" ] || { echo "FAIL: no shortcut file"; exit 1; }
info=$(lnkinfo "$link")
echo "$info"
fail=0
expect() { # label, value
  grep -Fq -- "$1" <<<"$info" && grep -F -- "$1" <<<"$info" | grep -Fq -- "$2" \
    || { echo "FAIL: expected $1 ... $2"; fail=1; }
}
expect "Working directory" "C:\\$name\\app"
expect "Icon location" "C:\\$name\\app\\tool.exe"
expect "Local path" "C:\\$name\\app\\tool.exe"
grep -Eq 'Icon index[[:space:]]*: 0$' <<<"$info" || { echo "FAIL: icon index is not 0"; fail=1; }
grep -Fqi "Description" <<<"$info" && { echo "FAIL: a description was set"; fail=1; }
[ "$(ls "$base/links")" = Product.lnk ] || { echo "FAIL: unexpected files"; fail=1; }
exit $fail
