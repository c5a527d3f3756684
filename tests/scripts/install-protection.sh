#!/usr/bin/env bash
# What an ordinary user could prepare for a machine's installation, made from
# the host (Wine reports the host's mode as an access list): open/Hanamaru,
# an install folder everybody may write; above/, a folder above the install
# folder everybody may write; link/Hanamaru, a host symbolic link (mode 777)
# to a folder. The test program's setup refuses each before anything is
# written; afterwards the host sees them as they were, with nothing in them.
#   install-protection.sh WINE_RUN INSTALLTEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"
name=ynb_install_protection_$$
scratch_folder "$name"
mkdir -p "$base/open/Hanamaru" "$base/above" "$base/link" "$base/elsewhere"
chmod 777 "$base/open/Hanamaru" "$base/above"
ln -s "$base/elsewhere" "$base/link/Hanamaru"

YNB_PROTECTION_BASE="C:\\$name" "$wine_run" "$exe" --gtest_filter='Install.RefusesWhatOrdinaryUsersCouldChange' 2>&1 \
  | tee "$base.log" >&2 || true
grep -q '^\[  PASSED  \] 1 test' "$base.log" || { echo "FAIL: the test program did not pass"; exit 1; }

fail=0
for folder in "$base/open/Hanamaru" "$base/above" "$base/elsewhere"; do
  [ -z "$(ls -A "$folder")" ] || { echo "FAIL: $folder holds $(ls -A "$folder")"; fail=1; }
done
[ "$(stat -c %a "$base/open/Hanamaru")" = 777 ] || { echo "FAIL: open/Hanamaru was changed"; fail=1; }
[ -L "$base/link/Hanamaru" ] || { echo "FAIL: the link is gone"; fail=1; }
exit $fail
