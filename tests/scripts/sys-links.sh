#!/usr/bin/env bash
# ClsFile::DeleteFolder and the tests' own tree removal on trees holding
# symbolic links to a folder, made from the host because Wine cannot make links
# itself: what the links name stays. (Wine shows a host link to a file as a
# plain file and deletes through it, so file links cannot be tested here.)
#   sys-links.sh WINE_RUN FILETEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"

name=ynbsys_links_$$
scratch_folder "$name"
mkdir -p "$base/outside/inner"
echo -n precious >"$base/outside/precious.txt"
echo -n inner >"$base/outside/inner/inner.txt"
for removal in delete remove; do
  mkdir -p "$base/$removal/tree/sub"
  echo -n own >"$base/$removal/tree/own.txt"
  echo -n own >"$base/$removal/tree/sub/own.txt"
  ln -s "$base/outside" "$base/$removal/tree/sub/dirlink"
  ln -s "$base/outside" "$base/$removal/toplink"
done

YNB_LINK_ROOT="C:\\$name" "$wine_run" "$exe" --gtest_filter='PreparedLinks.*' 2>&1 | tee "$base.log" >&2 || true
grep -q '^\[  PASSED  \] 2 tests' "$base.log" || { rm -f "$base.log"; echo "FAIL: the test program did not pass"; exit 1; }
rm -f "$base.log"

# Checked again from the host.
fail=0
for removal in delete remove; do
  for own in own.txt sub/own.txt; do
    [ ! -e "$base/$removal/tree/$own" ] || { echo "FAIL: $removal left $own"; fail=1; }
  done
done
[ "$(cat "$base/outside/precious.txt")" = precious ] || { echo "FAIL: precious.txt lost"; fail=1; }
[ "$(cat "$base/outside/inner/inner.txt")" = inner ] || { echo "FAIL: inner.txt lost"; fail=1; }
exit $fail
