#!/usr/bin/env bash
# The shipped programs carry no test seam (sys/TestSeam.h): no name of a
# seam's environment variable (YNB_TEST_..., as UTF-16 or as bytes) is in
# them, while the programs the tests build hold it (so that the check can
# fail).
#   check-seams.sh SHIPPED... -- TESTBUILD...
set -euo pipefail
seam_in() {
  LC_ALL=C grep -aqP 'Y\x00N\x00B\x00_\x00T\x00E\x00S\x00T\x00_\x00' "$1" || LC_ALL=C grep -aq 'YNB_TEST_' "$1"
}
fail=0 shipped=true
for program in "$@"; do
  if [ "$program" = -- ]; then shipped=false; continue; fi
  [ -f "$program" ] || { echo "FAIL: no $program"; fail=1; continue; }
  if $shipped && seam_in "$program"; then echo "FAIL: $program carries a test seam"; fail=1; fi
  if ! $shipped && ! seam_in "$program"; then echo "FAIL: the test build $program carries no seam"; fail=1; fi
done
[ $fail -eq 0 ] && echo "no test seam in the shipped programs"
exit $fail
