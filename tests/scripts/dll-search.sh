#!/usr/bin/env bash
# The DLL-planting defence: a probe program lies beside a planted cabinet.dll.
# Without the defence it loads the plant (the control); with it, Wine's
# +loaddll trace shows the system's cabinet.dll and never the plant, and COM
# (a shortcut) still works.
#   dll-search.sh WINE_RUN PROBE.exe PAYLOAD
set -uo pipefail
wine_run=$1 probe=$2 payload=$3
dir=$(cd "$(dirname "$probe")" && pwd)
[ -f "$dir/cabinet.dll" ] || { echo "FAIL: no planted cabinet.dll beside the probe"; exit 1; }
. "$(dirname "${BASH_SOURCE[0]}")/check-lib.sh"

YNB_WINEDEBUG=+loaddll "$wine_run" "$probe" plain >"$work/plain.out" 2>"$work/plain.err"
status=$?
[ "$status" -eq 77 ] && exit 77
cat "$work/plain.out"
[ "$status" -eq 0 ] || fail "control: the planted cabinet.dll was not loaded without the defence, so the test proves nothing"
grep -i 'Loaded .*cabinet\.dll' "$work/plain.err" | grep -qiF "$(basename "$dir")\\\\cabinet.dll" \
  || fail "control: the trace shows no load from beside the probe"

YNB_WINEDEBUG=+loaddll "$wine_run" "$probe" harden "$payload" >"$work/harden.out" 2>"$work/harden.err"
status=$?
cat "$work/harden.out"
[ "$status" -eq 0 ] || fail "with the defence: exit $status"
loads=$(grep -i 'Loaded .*cabinet\.dll' "$work/harden.err")
echo "$loads"
[ -n "$loads" ] || fail "no cabinet.dll load in the trace"
echo "$loads" | grep -qi 'system32\\\\cabinet\.dll' || fail "the system's cabinet.dll was not loaded"
planted=$(printf '%s' "$dir" | sed 's,/,\\\\\\\\,g')
echo "$loads" | grep -qiF "$(basename "$dir")\\\\cabinet.dll" && fail "the planted cabinet.dll was loaded"
grep -q '^shortcut: ok' "$work/harden.out" || fail "no shortcut after the defence"

finish "dll search"
