#!/usr/bin/env bash
# The payload stamp as a Windows program reads it: a probe built like
# setup.exe holds the stamp marker exactly once and reads itself as unstamped;
# a copy stamped by ynbpack reads back sha256sum's digest of the payload, a
# second stamp replaces it, the original stays unstamped, and the PE checksum
# that the linker wrote stays true.
#   payload-stamp.sh WINE_RUN YNBPACK PROBE.exe
set -uo pipefail
wine_run=$1 ynbpack=$2 probe=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/stamp-lib.sh"
. "$here/check-lib.sh"

# run PROGRAM: sets got to its line of output.
run() {
  "$wine_run" "$1" >"$work/out" 2>"$work/err"
  local status=$?
  [ "$status" -eq 77 ] && exit 77
  [ "$status" -eq 0 ] || fail "$(basename "$1"): exit $status ($(cat "$work/err"))"
  got=$(tr -d '\r' <"$work/out")
}

# The PE checksum field (e_lfanew + 4 + 20 + 64), and the checksum computed
# here: the file's 16-bit words with that field taken as zero, carries folded
# back, plus the file's length.
checksum_at() { echo $(($(od -An -tu4 -j60 -N4 "$1") + 88)); }
checksum_field() { od -An -tu4 -j"$(checksum_at "$1")" -N4 "$1" | tr -d ' '; }
checksum_computed() {
  cp "$1" "$work/zeroed"
  printf '\0\0\0\0' | dd of="$work/zeroed" bs=1 seek="$(checksum_at "$1")" conv=notrunc status=none
  od -An -v -tu2 -w2 "$work/zeroed" | awk -v n="$(stat -c %s "$1")" \
    '{ s += $1; s = s % 65536 + int(s / 65536) } END { print s % 65536 + int(s / 65536) + n }'
}

zero_digest=$(printf '0%.0s' $(seq 64))
[ "$(checksum_field "$probe")" -ne 0 ] || fail "the linker wrote no checksum, so its check proves nothing"
[ "$(checksum_field "$probe")" = "$(checksum_computed "$probe")" ] || fail "the checksum as computed here is not the linker's"
[ "$(stamp_marker_count "$probe")" -eq 1 ] || fail "the marker occurs $(stamp_marker_count "$probe") times in the probe"
run "$probe"
echo "built: $got"
[ "$got" = "unstamped $zero_digest" ] || fail "the built probe reads '$got'"

head -c 300000 /dev/urandom >"$work/data00.dat"
printf 'another payload' >"$work/other.dat"
"$ynbpack" stamp "$probe" "$work/data00.dat" "$work/stamped.exe" || fail "ynbpack stamp"
[ "$(stamp_marker_count "$work/stamped.exe")" -eq 1 ] || fail "the marker is not once in the stamped probe"
[ "$(checksum_field "$work/stamped.exe")" = "$(checksum_computed "$work/stamped.exe")" ] \
  || fail "the stamped probe's checksum is stale"
run "$work/stamped.exe"
echo "stamped: $got"
[ "$got" = "stamped $(sha256sum "$work/data00.dat" | cut -c1-64)" ] || fail "the stamped probe reads '$got'"
"$ynbpack" stamp "$work/stamped.exe" "$work/other.dat" 2>/dev/null || fail "ynbpack stamp again"
run "$work/stamped.exe"
[ "$got" = "stamped $(sha256sum "$work/other.dat" | cut -c1-64)" ] || fail "the restamped probe reads '$got'"
run "$probe"
[ "$got" = "unstamped $zero_digest" ] || fail "stamping a copy changed the built probe"

finish "payload stamp"
