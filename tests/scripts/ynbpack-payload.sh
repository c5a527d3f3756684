#!/usr/bin/env bash
# ynbpack cab, payload and unpayload: the cabinet agrees with cabextract
# (names, sizes, times, contents), the payload has its full 64 KiB blocks
# scrambled on their own and its tail plain, and bad input exits with 2.
#   ynbpack-payload.sh YNBPACK
set -uo pipefail
ynbpack=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export TZ=UTC

expect_status() { # expected-status description command...
  local want=$1 what=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: exit $got, wanted $want ($(cat "$work/err"))"
  if [ "$want" -eq 2 ] && ! grep -q '^ynbpack: ' "$work/err"; then fail "$what: no message on stderr"; fi
}

# A tree with nested folders, empty, small and incompressible files, a
# read-only file and a Shift-JIS name whose trail byte is 0x5C ("表.txt").
tree=$work/tree
mkdir -p "$tree/bin" "$tree/doc/a/b" "$tree/empty-folder"
printf 'hello\r\n' >"$tree/readme.txt"
: >"$tree/zero.dat"
head -c 200000 /dev/urandom >"$tree/bin/random.bin"
head -c 65536 /dev/zero >"$tree/doc/a/b/zeros.bin"
printf 'deep' >"$tree/doc/a/b/deep.txt"
printf 'locked' >"$tree/doc/readonly.txt"
printf 'sjis' >"$tree/$(printf '\x95\x5c.txt')"
printf 'utf8' >"$tree/doc/日本.txt"
touch -d '2021-03-04 05:06:08' "$tree/readme.txt" "$tree/bin/random.bin"
touch -d '1999-12-31 23:59:58' "$tree/doc/readonly.txt"
chmod a-w "$tree/doc/readonly.txt"

expect_status 0 "cab" "$ynbpack" cab "$tree" "$work/out.cab"
expect_status 0 "cab again" "$ynbpack" cab "$tree" "$work/again.cab"
cmp -s "$work/out.cab" "$work/again.cab" || fail "two cabinets of the same tree differ"

# Stored names: relative, backslashes, sorted byte-wise; cabextract lists them
# (with slashes) in the same order with the same sizes and times.
expected_names=$(cd "$tree" && find . -type f | sed 's,^\./,,' | LC_ALL=C sort)
cabextract -l "$work/out.cab" >"$work/list" 2>&1 || fail "cabextract -l: $(cat "$work/list")"
listed=$(sed -n 's/^ *[0-9]* | [0-9.]* [0-9:]* | //p' "$work/list")
listed_ascii=$(printf '%s\n' "$listed" | LC_ALL=C grep -v '[^ -~]')
expected_ascii=$(printf '%s\n' "$expected_names" | LC_ALL=C grep -v '[^ -~]')
[ "$listed_ascii" = "$expected_ascii" ] || fail "cabextract lists $listed_ascii, wanted $expected_ascii"
[ "$(LC_ALL=C grep -c '^ *[0-9]* | ' "$work/list")" -eq 8 ] || fail "cabextract lists $(LC_ALL=C grep -c '^ *[0-9]* | ' "$work/list") files"
grep -q '^ *200000 | 04.03.2021 05:06:08 | bin/random.bin$' "$work/list" || fail "size or time of random.bin: $(cat "$work/list")"
grep -q '^ *6 | 31.12.1999 23:59:58 | doc/readonly.txt$' "$work/list" || fail "time of the read-only file"
grep -q '^ *0 | .* | zero.dat$' "$work/list" || fail "empty file"
LC_ALL=C grep -q 'MSCF' "$work/out.cab" || fail "no cabinet signature"
# Names are stored with backslashes, the Shift-JIS name byte for byte.
LC_ALL=C grep -qa 'doc\\a\\b\\deep.txt' "$work/out.cab" || fail "nested name not stored with backslashes"
LC_ALL=C grep -qaF "$(printf '\x95\x5c.txt')" "$work/out.cab" || fail "Shift-JIS name not stored as is"
# A UTF-8 name is stored in Shift-JIS, without the UTF-8 mark (attribute 0x80).
LC_ALL=C grep -qaF "$(printf 'doc\\\x93\xfa\x96\x7b.txt')" "$work/out.cab" || fail "UTF-8 name not stored in Shift-JIS"
xxd -p "$work/out.cab" | tr -d '\n' | grep -q 'a000646f63' && fail "a name still carries the UTF-8 mark"
# MSZIP: 64 KiB of zeros compress to almost nothing.
[ "$(stat -c %s "$work/out.cab")" -lt 210000 ] || fail "cabinet not compressed: $(stat -c %s "$work/out.cab") bytes"

# Contents come back through an independent extractor.
mkdir "$work/x"
cabextract -q -d "$work/x" "$work/out.cab" >/dev/null 2>&1 || fail "cabextract could not extract"
for f in readme.txt zero.dat bin/random.bin doc/a/b/zeros.bin doc/a/b/deep.txt doc/readonly.txt; do
  cmp -s "$tree/$f" "$work/x/$f" || fail "extracted $f differs"
done

# Payloads of 0 bytes past the signature, below one block, exact blocks and
# blocks plus a tail; each full block must equal the whole-buffer scramble of
# that block alone, the tail must stay plain.
for size in 4 1000 65535 65536 196608 131172; do
  { printf 'MSCF'; head -c $((size - 4)) /dev/urandom; } >"$work/c$size"
  expect_status 0 "payload of $size bytes" "$ynbpack" payload --key 731 "$work/c$size" "$work/p$size"
  [ "$(stat -c %s "$work/p$size")" -eq "$size" ] || fail "payload of $size bytes changed its size"
  blocks=$((size / 65536))
  for ((k = 0; k < blocks; k++)); do
    dd if="$work/c$size" bs=65536 skip=$k count=1 status=none | "$ynbpack" scramble --key 731 >"$work/block"
    dd if="$work/p$size" bs=65536 skip=$k count=1 status=none | cmp -s - "$work/block" || fail "size $size: block $k"
  done
  cmp -s <(tail -c +$((blocks * 65536 + 1)) "$work/c$size") <(tail -c +$((blocks * 65536 + 1)) "$work/p$size") \
    || fail "size $size: the tail is not plain"
  if [ "$blocks" -gt 0 ]; then cmp -s "$work/c$size" "$work/p$size" && fail "size $size: nothing scrambled"; fi
  expect_status 0 "unpayload of $size bytes" "$ynbpack" unpayload --key 731 "$work/p$size" "$work/r$size"
  cmp -s "$work/c$size" "$work/r$size" || fail "size $size: round trip differs"
done

# The real cabinet through payload and back is still the same cabinet.
expect_status 0 "payload of the cabinet" "$ynbpack" payload --key 512 "$work/out.cab" "$work/data00.dat"
expect_status 0 "unpayload of the cabinet" "$ynbpack" unpayload --key 512 "$work/data00.dat" "$work/back.cab"
cmp -s "$work/out.cab" "$work/back.cab" || fail "cabinet round trip differs"
cabextract -t "$work/back.cab" >/dev/null 2>&1 || fail "cabextract rejects the restored cabinet"

# Errors.
expect_status 2 "cab of a missing folder" "$ynbpack" cab "$work/nothing" "$work/e.cab"
expect_status 2 "cab of a file" "$ynbpack" cab "$tree/readme.txt" "$work/e.cab"
expect_status 2 "cab without output" "$ynbpack" cab "$tree"
expect_status 2 "cab with extra arguments" "$ynbpack" cab "$tree" "$work/e.cab" extra
expect_status 2 "cab to an unwritable place" "$ynbpack" cab "$tree" "$work/no/such/dir/e.cab"
mkdir -p "$work/linked" && ln -s /etc/passwd "$work/linked/passwd"
expect_status 2 "cab of a symbolic link" "$ynbpack" cab "$work/linked" "$work/e.cab"
mkdir -p "$work/device" && printf x >"$work/device/NUL.txt"
expect_status 2 "cab of a device name" "$ynbpack" cab "$work/device" "$work/e.cab"
grep -q 'device name' "$work/err" || fail "device name message: $(cat "$work/err")"
mkdir -p "$work/colon" && printf x >"$work/colon/a:b"
expect_status 2 "cab of a name with a colon" "$ynbpack" cab "$work/colon" "$work/e.cab"
mkdir -p "$work/long" && printf x >"$work/long/$(printf 'n%.0s' $(seq 200))" && mkdir -p "$work/long/$(printf 'd%.0s' $(seq 100))" \
  && printf x >"$work/long/$(printf 'd%.0s' $(seq 100))/$(printf 'f%.0s' $(seq 160))"
expect_status 2 "cab of a name over 255 bytes" "$ynbpack" cab "$work/long" "$work/e.cab"
expect_status 2 "payload without key" "$ynbpack" payload "$work/out.cab" "$work/e.dat"
expect_status 2 "payload with a bad key" "$ynbpack" payload --key x1 "$work/out.cab" "$work/e.dat"
expect_status 2 "payload of a missing file" "$ynbpack" payload --key 1 "$work/nothing" "$work/e.dat"
expect_status 2 "payload of a non-cabinet" "$ynbpack" payload --key 1 "$tree/readme.txt" "$work/e.dat"
expect_status 2 "payload of an empty file" "$ynbpack" payload --key 1 "$tree/zero.dat" "$work/e.dat"
expect_status 2 "payload with one file" "$ynbpack" payload --key 1 "$work/out.cab"
expect_status 2 "unpayload with the wrong key" "$ynbpack" unpayload --key 513 "$work/data00.dat" "$work/e.cab"
grep -q 'wrong key' "$work/err" || fail "wrong-key message: $(cat "$work/err")"
expect_status 2 "unpayload to an unwritable place" "$ynbpack" unpayload --key 512 "$work/data00.dat" "$work/no/x.cab"

if [ "$failures" -eq 0 ]; then echo "ynbpack payload: all checks passed"; exit 0; fi
echo "ynbpack payload: $failures failed"; exit 1
