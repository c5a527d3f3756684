#!/usr/bin/env bash
# The installation into an install folder and a log folder that everybody may
# change: made world-writable from the host (Wine reports the host's mode as
# an access list), then installed into by the test program, then checked
# from the host: both lost their write right for others, the base folder
# (the user's) is as it was. The base folder itself is not world-writable:
# Wine merges the entries a folder's parent would pass down into the list it
# is given, even a protected one (docs/WINE.md).
#   install-protection.sh WINE_RUN INSTALLTEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"
name=ynb_install_protection_$$
scratch_folder "$name"
mkdir -p "$base/base/Hanamaru/ynb"
chmod 755 "$base/base"
chmod 777 "$base/base/Hanamaru" "$base/base/Hanamaru/ynb"

YNB_PROTECTION_BASE="C:\\$name\\base" "$wine_run" "$exe" --gtest_filter='Install.ProtectsWhatOrdinaryUsersCouldChange' 2>&1 \
  | tee "$base.log" >&2 || true
grep -q '^\[  PASSED  \] 1 test' "$base.log" || { echo "FAIL: the test program did not pass"; exit 1; }

fail=0
others_write() { (( (8#$(stat -c %a "$1") & 8#002) != 0 )); }
[ "$(stat -c %a "$base/base")" = 755 ] || { echo "FAIL: the base folder was changed"; fail=1; }
for folder in "$base/base/Hanamaru" "$base/base/Hanamaru/ynb"; do
  if others_write "$folder"; then echo "FAIL: $folder is still world-writable"; fail=1; fi
done
exit $fail
