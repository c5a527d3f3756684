#!/usr/bin/env bash
# The uninstaller on an install folder holding symbolic links, made from the
# host because Wine cannot make links itself: a link that a folder line names
# is removed as a link (where the system can; Wine cannot), a line behind a
# link is refused, and what the links name stays.
#   uninstall-links.sh WINE_RUN UNINSTALLTEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"

name=ynb_uninstall_links_$$
scratch_folder "$name"
mkdir -p "$base/inst/Hanamaru/ynb" "$base/outside1" "$base/outside2"
echo -n own >"$base/inst/Hanamaru/own.txt"
echo -n precious1 >"$base/outside1/precious1.txt"
echo -n precious2 >"$base/outside2/precious2.txt"
ln -s "$base/outside1" "$base/inst/Hanamaru/help"
ln -s "$base/outside2" "$base/inst/Hanamaru/data"

YNB_LINK_BASE="C:\\$name" "$wine_run" "$exe" --gtest_filter='Uninstall.NeverReachesBehindALink' 2>&1 \
  | tee "$base.log" >&2 || true
grep -q '^\[  PASSED  \] 1 test' "$base.log" || { rm -f "$base.log"; echo "FAIL: the test program did not pass"; exit 1; }
rm -f "$base.log"

# Checked again from the host.
fail=0
[ "$(cat "$base/outside1/precious1.txt")" = precious1 ] || { echo "FAIL: precious1.txt lost"; fail=1; }
[ "$(cat "$base/outside2/precious2.txt")" = precious2 ] || { echo "FAIL: precious2.txt lost"; fail=1; }
[ ! -e "$base/inst/Hanamaru/own.txt" ] || { echo "FAIL: own.txt remains"; fail=1; }
exit $fail
