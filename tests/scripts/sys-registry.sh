#!/usr/bin/env bash
# Values that ClsRegist writes under HKEY_LOCAL_MACHINE, read from outside the
# program with Wine's own `reg query` (a 32-bit program writes into the WOW64
# view, read with /reg:32).
#   sys-registry.sh WINE_RUN REGISTTEST_EXE
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-test-lib.sh"
wine_run=$1
exe=$2

require_program "$wine_run" "$exe"

view=/reg:64
case "$(file -b "$exe")" in *PE32+*) ;; *) view=/reg:32 ;; esac

sub="Software\\YnbSetupTests\\SysReg$$"
key="HKLM\\$sub"
cleanup() { "$wine_run" reg delete "$key" /f $view >/dev/null 2>&1 || true; }
cleanup
trap cleanup EXIT

log=$(YNB_REG_KEY="$sub" "$wine_run" "$exe" --gtest_filter='RegistForHost.*' 2>&1) || true
grep -q '^\[  PASSED  \] 1 test' <<<"$log" || { echo "$log"; echo "FAIL: the test program did not pass"; exit 1; }

out=$("$wine_run" reg query "$key" $view 2>&1 | tr -d '\r') || { echo "$out"; echo "FAIL: reg query"; exit 1; }
echo "$out"
fail=0
expect() { # name, data
  grep -Eq "^[[:space:]]+$1[[:space:]]+REG_SZ[[:space:]]+$2\$" <<<"$out" || { echo "FAIL: $1 is not REG_SZ '$2'"; fail=1; }
}
expect DisplayName 'Ynb Product'
expect UninstallString 'C:\\Program Files\\Ynb Product\\uninstall\.exe'
expect Empty ''
[ "$(grep -c 'REG_' <<<"$out")" -eq 3 ] || { echo "FAIL: not exactly three values"; fail=1; }
exit $fail
