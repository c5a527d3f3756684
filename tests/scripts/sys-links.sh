#!/usr/bin/env bash
# DeleteFolder on a tree holding a symbolic link to a folder, made from the
# host because Wine cannot make links itself: what the link names stays.
# (Wine shows a host link to a file as a plain file and deletes through it, so
# file links cannot be tested here.)
#   sys-links.sh WINE_RUN FILETEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"

name=ynbsys_links_$$
scratch_folder "$name"
mkdir -p "$base/outside/inner" "$base/tree/sub"
echo -n precious >"$base/outside/precious.txt"
echo -n inner >"$base/outside/inner/inner.txt"
echo -n own >"$base/tree/own.txt"
echo -n own >"$base/tree/sub/own.txt"
ln -s "$base/outside" "$base/tree/sub/dirlink"
ln -s "$base/outside" "$base/toplink"

YNB_LINK_TREE="C:\\$name\\tree" YNB_LINK_OUTSIDE="C:\\$name\\outside" \
  "$wine_run" "$exe" --gtest_filter='DeleteFolderLinks.*' 2>&1 | tee "$base.log" >&2 || true
grep -q '^\[  PASSED  \] 1 test' "$base.log" || { rm -f "$base.log"; echo "FAIL: the test program did not pass"; exit 1; }
rm -f "$base.log"

# Checked again from the host.
fail=0
[ ! -e "$base/tree/own.txt" ] && [ ! -e "$base/tree/sub/own.txt" ] || { echo "FAIL: the tree's own files remain"; fail=1; }
[ "$(cat "$base/outside/precious.txt")" = precious ] || { echo "FAIL: precious.txt lost"; fail=1; }
[ "$(cat "$base/outside/inner/inner.txt")" = inner ] || { echo "FAIL: inner.txt lost"; fail=1; }
exit $fail
