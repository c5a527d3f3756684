#!/usr/bin/env bash
# The judgement of files whose permissions the host changed between two runs
# of the test program: Wine reports the descriptor of a file from its host mode
# and owner, so "others may write" is chmod o+w and a foreign owner is another
# host user (only when this script may chown). ProtectFolder on the
# world-writable folder must take the write bit of others away again. A
# machine's install path through the world-writable folder, or through a host
# symbolic link, is refused.
#   sys-security.sh WINE_RUN FILESECURITYTEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"

name=ynbsys_security_$$
scratch_folder "$name"
mkdir -p "$base"
foreign=

run() {
  YNB_SECURITY_FOLDER="C:\\$name" YNB_SECURITY_FOREIGN=$foreign \
    "$wine_run" "$exe" --gtest_filter="FileSecurityHost.$1" 2>&1 | tee "$base.log" >&2 || true
  grep -q '^\[  PASSED  \] 1 test' "$base.log" || { rm -f "$base.log"; echo "FAIL: FileSecurityHost.$1"; exit 1; }
  rm -f "$base.log"
}

run Created
chmod o+w "$base/open.txt" "$base/open"
mkdir -p "$base/target"
ln -s "$base/target" "$base/link" # a link anybody may point elsewhere (a host link's mode is 777)
if chown nobody "$base/foreign.txt" 2>/dev/null; then foreign=1; else echo "note: cannot chown, foreign owner not tested"; fi
run Changed

mode=$(stat -c %a "$base/open")
[ $((8#$mode & 8#002)) -eq 0 ] || { echo "FAIL: open/ is still writable for others (mode $mode)"; exit 1; }
