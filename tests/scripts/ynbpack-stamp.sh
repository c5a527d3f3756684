#!/usr/bin/env bash
# ynbpack stamp: the SHA-256 of the payload lands after the one stamp marker
# of a small PE program made here, equal to sha256sum's, nothing else changes,
# a second stamp replaces the first; no marker, two markers, a non-PE file, a
# cut-off area and a signed program (PE32 and PE32+) are refused with exit 2
# and leave every file as it was.
#   ynbpack-stamp.sh YNBPACK
set -uo pipefail
ynbpack=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/stamp-lib.sh"
. "$here/check-lib.sh"


le16() { printf "$(printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
zeros() { head -c "$1" /dev/zero; }

# make_program OUT MAGIC CERTIFICATE-SIZE MARKERS [TAIL]: an MZ stub, a PE
# header with a PE32 (10b) or PE32+ (20b) optional header of 16 directories,
# the certificate table entry (4) of the given size, then MARKERS stamp areas
# among random bytes, and TAIL random bytes at the end.
make_program() {
  local out=$1 magic=$2 certificate=$3 markers=$4 tail=${5:-300} size count
  if [ "$magic" = 10b ]; then size=224 count=92; else size=240 count=108; fi
  {
    printf 'MZ'; zeros 58; le32 64
    printf 'PE\0\0'; le16 0x14c; le16 1; zeros 12; le16 $size; le16 0x102
    le16 0x$magic; zeros $((count - 2)); le32 16
    zeros 32; le32 $((certificate > 0 ? 4096 : 0)); le32 "$certificate"; zeros $((size - count - 4 - 40))
    for ((i = 0; i < markers; i++)); do
      head -c 500 /dev/urandom; printf "$(stamp_marker_pattern)"; zeros 32
    done
    head -c "$tail" /dev/urandom
  } >"$out"
}

printf 'payload one' >"$work/one.dat"
head -c 100000 /dev/urandom >"$work/two.dat"
sha_one=$(sha256sum "$work/one.dat" | cut -c1-64)
sha_two=$(sha256sum "$work/two.dat" | cut -c1-64)
zero_digest=$(printf '0%.0s' $(seq 64))

# Stamping into a new file: the digest after the marker, the rest unchanged.
for magic in 10b 20b; do
  make_program "$work/setup$magic.exe" $magic 0 1
  chmod 755 "$work/setup$magic.exe"
  cp "$work/setup$magic.exe" "$work/orig$magic.exe"
  [ "$(stamp_digest_hex "$work/setup$magic.exe")" = "$zero_digest" ] || fail "$magic: the unstamped area is not zeros"
  expect_status 0 "stamp $magic" "$ynbpack" stamp "$work/setup$magic.exe" "$work/one.dat" "$work/out$magic.exe"
  [ "$(stamp_digest_hex "$work/out$magic.exe")" = "$sha_one" ] || fail "$magic: stamped digest differs from sha256sum"
  [ "$(stamp_marker_count "$work/out$magic.exe")" -eq 1 ] || fail "$magic: the stamped copy lost its marker"
  cmp -s "$work/setup$magic.exe" "$work/orig$magic.exe" || fail "$magic: the input changed"
  differing=$(cmp -l "$work/orig$magic.exe" "$work/out$magic.exe" | wc -l)
  [ "$differing" -ge 28 ] && [ "$differing" -le 32 ] || fail "$magic: $differing bytes changed, wanted only the digest"
  [ "$(stat -c %a "$work/out$magic.exe")" = 755 ] || fail "$magic: the copy lost the program's mode"
done

# In place, twice: the second stamp replaces the first and says so.
expect_status 0 "stamp in place" "$ynbpack" stamp "$work/setup10b.exe" "$work/one.dat"
[ "$(stamp_digest_hex "$work/setup10b.exe")" = "$sha_one" ] || fail "in place: digest"
expect_status 0 "stamp again" "$ynbpack" stamp "$work/setup10b.exe" "$work/two.dat"
[ "$(stamp_digest_hex "$work/setup10b.exe")" = "$sha_two" ] || fail "stamp again: digest not replaced"
grep -q 'replaced' "$work/err" || fail "stamp again: no note of the replaced stamp"
cmp -s "$work/setup10b.exe" "$work/orig10b.exe" && fail "stamp again: nothing written"
ls "$work" | grep -q 'stamping' && fail "a temporary file stayed behind"

# Refusals: each leaves the program as it was and makes no output.
refuse() { # description file message-pattern
  cp "$2" "$work/before"
  expect_status 2 "$1" "$ynbpack" stamp "$2" "$work/one.dat" "$work/refused.exe"
  grep -q "$3" "$work/err" || fail "$1: message: $(cat "$work/err")"
  cmp -s "$2" "$work/before" || fail "$1: the program changed"
  [ ! -e "$work/refused.exe" ] || fail "$1: an output was written"
  rm -f "$work/refused.exe"
}
make_program "$work/none.exe" 10b 0 0
refuse "no marker" "$work/none.exe" 'no payload stamp area'
make_program "$work/twice.exe" 20b 0 2
refuse "two markers" "$work/twice.exe" 'more than once'
make_program "$work/cut.exe" 10b 0 1 0
truncate -s -1 "$work/cut.exe"
refuse "area cut off at the end" "$work/cut.exe" 'ends inside'
for magic in 10b 20b; do
  make_program "$work/signed$magic.exe" $magic 1234 1
  refuse "signed $magic" "$work/signed$magic.exe" 'Authenticode'
  expect_status 2 "signed $magic in place" "$ynbpack" stamp "$work/signed$magic.exe" "$work/one.dat"
  [ "$(stamp_digest_hex "$work/signed$magic.exe")" = "$zero_digest" ] || fail "signed $magic: stamped in place"
done
{ printf 'MZ'; zeros 100; printf "$(stamp_marker_pattern)"; zeros 32; } >"$work/stub.exe"
refuse "no PE header" "$work/stub.exe" 'not a Windows program'
make_program "$work/short.exe" 10b 0 1
printf '\xff\xff' | dd of="$work/short.exe" bs=1 seek=$((64 + 20)) conv=notrunc status=none
refuse "optional header past the end" "$work/short.exe" 'truncated'

# Arguments and files.
: >"$work/empty.dat"
expect_status 2 "empty payload" "$ynbpack" stamp "$work/setup20b.exe" "$work/empty.dat" "$work/x.exe"
expect_status 2 "missing payload" "$ynbpack" stamp "$work/setup20b.exe" "$work/nothing.dat" "$work/x.exe"
expect_status 2 "one argument" "$ynbpack" stamp "$work/setup20b.exe"
expect_status 2 "unwritable output" "$ynbpack" stamp "$work/setup20b.exe" "$work/one.dat" "$work/no/such/x.exe"
[ ! -e "$work/x.exe" ] || fail "a refused stamp wrote its output"

finish "ynbpack stamp"
