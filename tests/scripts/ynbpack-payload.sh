#!/usr/bin/env bash
# ynbpack cab, list, payload and unpayload: the cabinet agrees with cabextract
# and gcab (names, sizes, times, contents), its files are packed into folders
# of bounded size, the payload has its full 64 KiB blocks scrambled on their
# own and its tail plain, and bad input exits with 2.
#   ynbpack-payload.sh YNBPACK
set -uo pipefail
ynbpack=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"
export TZ=UTC


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
# Compressed: 64 KiB of zeros take almost nothing.
[ "$(stat -c %s "$work/out.cab")" -lt 210000 ] || fail "cabinet not compressed: $(stat -c %s "$work/out.cab") bytes"

# Contents come back through an independent extractor.
mkdir "$work/x"
cabextract -q -d "$work/x" "$work/out.cab" >/dev/null 2>&1 || fail "cabextract could not extract"
for f in readme.txt zero.dat bin/random.bin doc/a/b/zeros.bin doc/a/b/deep.txt doc/readonly.txt; do
  cmp -s "$tree/$f" "$work/x/$f" || fail "extracted $f differs"
done

# Several folders: files in stored-name order, a folder closed when the next
# file would take it over the bound (exactly the bound stays), a larger file
# alone, empty files joining the open folder. Files of 0 bytes, 32 KiB,
# 64 KiB and multiples, random and compressible, a Shift-JIS name.
tree2=$work/tree2 bound=98304
mkdir -p "$tree2/a" "$tree2/b" "$tree2/c" "$tree2/d"
: >"$tree2/a/empty-1.dat"
head -c 32768 /dev/urandom >"$tree2/a/k32.bin"
head -c 65536 /dev/urandom >"$tree2/a/k64.bin"
head -c 150001 /dev/urandom >"$tree2/b/big-odd.bin"
head -c 131072 /dev/urandom >"$tree2/b/k128.bin"
head -c 98304 /dev/zero >"$tree2/b/zeros-96k.bin"
: >"$tree2/c/empty-2.dat"
seq 1000 >"$tree2/c/text.txt"
head -c 32768 /dev/urandom >"$tree2/d/k32.bin"
head -c 20000 /dev/urandom >"$tree2/日本.txt"
expect_status 0 "cab in folders" "$ynbpack" cab --folder-size 96K "$tree2" "$work/folders.cab"
expect_status 0 "list" "$ynbpack" list "$work/folders.cab"
cp "$work/out" "$work/folders.list"
# The stored name of a host path, as the extractors write it: Shift-JIS bytes.
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
files2=$(cd "$tree2" && find . -type f | sed 's,^\./,,')
# Every file once, with its size, names in byte order; each folder filled
# from offset 0 without gaps; the folders the bound implies; their blocks.
LC_ALL=C awk -F'\t' -v bound=$bound '
  $1 == "cabinet" { folders = $3; files = $4 }
  $1 == "folder" { blocks[$2] = $4 }
  $1 == "file" {
    n++; if (n > 1 && $7 <= last) print "not sorted: " $7; last = $7
    if ($4 > 0 && used > 0 && used + $4 > bound) { want++; used = 0 }
    if ($2 != want) print $7 " in folder " $2 ", wanted " want + 0
    if ($3 != fill[$2] + 0) print $7 " at offset " $3 ", wanted " fill[$2] + 0
    used += $4; fill[$2] += $4
  }
  END {
    if (folders != want + 1 || files != n) print folders " folders, " files " files; wanted " want + 1 ", " n
    for (f = 0; f <= want; f++) if (blocks[f] != int((fill[f] + 32767) / 32768)) print "folder " f ": " blocks[f] " blocks"
  }' "$work/folders.list" >"$work/layout"
[ -s "$work/layout" ] && fail "folder layout: $(cat "$work/layout")"
[ "$(grep -c '^folder' "$work/folders.list")" -eq 5 ] || fail "not 5 folders: $(cat "$work/folders.list")"
[ "$(od -An -tu2 -j26 -N2 "$work/folders.cab" | tr -d ' ')" -eq 5 ] || fail "the header does not count 5 folders"
while IFS= read -r f; do
  size=$(stat -c %s "$tree2/$f") name=$(sjis "$f" | tr '/' '\\') LC_ALL=C \
    awk -F'\t' '$1 == "file" && $4 == ENVIRON["size"] && $7 == ENVIRON["name"] { found = 1 } END { exit !found }' \
    "$work/folders.list" || fail "list: no $f with its size"
done <<<"$files2"
# Read back byte for byte by two independent extractors, checksums included.
cabextract -t "$work/folders.cab" >/dev/null 2>&1 || fail "cabextract -t rejects the folders"
mkdir "$work/x2" "$work/g2"
cabextract -q -d "$work/x2" "$work/folders.cab" >/dev/null 2>&1 || fail "cabextract could not extract the folders"
gcab -x -C "$work/g2" "$work/folders.cab" >/dev/null 2>&1 || fail "gcab could not extract the folders"
while IFS= read -r f; do
  cmp -s "$tree2/$f" "$work/x2/$(sjis "$f")" || fail "cabextract: $f differs"
  cmp -s "$tree2/$f" "$work/g2/$(sjis "$f")" || fail "gcab: $f differs"
done <<<"$files2"
[ "$(gcab -l "$work/folders.cab" | wc -l)" -eq 10 ] || fail "gcab lists $(gcab -l "$work/folders.cab" | wc -l) files"
# The default bound keeps these 615 KiB in one folder, the smallest gives
# every file with data a folder of its own.
"$ynbpack" cab "$tree2" "$work/one.cab" && "$ynbpack" list "$work/one.cab" >"$work/one.list"
[ "$(grep -c '^folder' "$work/one.list")" -eq 1 ] || fail "default folder size: $(grep -c '^folder' "$work/one.list") folders"
"$ynbpack" cab --folder-size 1 "$tree2" "$work/each.cab" && "$ynbpack" list "$work/each.cab" >"$work/each.list"
[ "$(grep -c '^folder' "$work/each.list")" -eq 8 ] || fail "folder size 1: $(grep -c '^folder' "$work/each.list") folders"
cabextract -t "$work/each.cab" >/dev/null 2>&1 || fail "cabextract -t rejects one folder a file"
# Only empty files: one folder without blocks.
mkdir -p "$work/empties/d" && : >"$work/empties/a" && : >"$work/empties/d/b"
expect_status 0 "cab of empty files" "$ynbpack" cab "$work/empties" "$work/empties.cab"
"$ynbpack" list "$work/empties.cab" | grep -qx "$(printf 'folder\t0\t[0-9]*\t0\tLZX')" || fail "empty files: not one folder without blocks"
cabextract -t "$work/empties.cab" >/dev/null 2>&1 || fail "cabextract -t rejects empty files"
mkdir "$work/g3" && gcab -x -C "$work/g3" "$work/empties.cab" >/dev/null 2>&1 && [ -f "$work/g3/d/b" ] || fail "gcab: empty files"
# What cab shows of its work: on a log, a line when a step starts and one when
# it ends; on a terminal (script's), one line redrawn in place.
"$ynbpack" cab --folder-size 1 "$tree2" "$work/shown.cab" 2>"$work/shown" || fail "cab with a log"
n=$(find "$tree2" -type f | wc -l)
grep -qx "ynbpack: reading $n files, 0.5 MB" "$work/shown" || fail "the log's first line: $(cat "$work/shown")"
grep -qx "ynbpack: compressing (LZX) $n/$n files, 0.5/0.5 MB\(, [0-9.]* MB/s\)\? in [0-9.]* s" "$work/shown" \
  || fail "the log's last line: $(cat "$work/shown")"
script -qfec "$ynbpack cab --folder-size 1 $tree2 $work/tty.cab" /dev/null >"$work/tty" </dev/null \
  || fail "cab on a terminal"
tr '\r' '\n' <"$work/tty" | grep -q "^ynbpack: compressing (LZX) $n/$n files, .* in [0-9.]* s *\$" \
  || fail "the terminal's last line: $(od -c "$work/tty" | tail -5)"
grep -q $'\r' "$work/tty" || fail "the terminal's line is not redrawn in place"
cmp -s "$work/shown.cab" "$work/tty.cab" || fail "the terminal changes the cabinet"

# ynbpack build --no-setup passes the bound on.
cases=$(dirname "$0")/../products/cases
expect_status 0 "build in folders" "$ynbpack" build --no-setup "$cases" "$work/dist" --folder-size 100
"$ynbpack" unpayload --key "$(sed -n 's/^payload=//p' "$cases/keys.txt")" "$work/dist/data00.dat" "$work/dist.cab"
[ "$("$ynbpack" list "$work/dist.cab" | grep -c '^folder')" -gt 3 ] || fail "build ignores --folder-size"

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
mkdir -p "$work/nofiles/sub"
expect_status 2 "cab of a tree without files" "$ynbpack" cab "$work/nofiles" "$work/e.cab"
grep -q 'no files' "$work/err" || fail "no-files message: $(cat "$work/err")"
[ -e "$work/e.cab" ] && fail "a refused cabinet was written"
mkdir -p "$work/twice" && printf a >"$work/twice/$(printf '\x93\xfa')" && printf b >"$work/twice/日"
expect_status 2 "cab of two files with one stored name" "$ynbpack" cab "$work/twice" "$work/e.cab"
# One file on Windows: names that differ only in case, in ASCII or full width.
for pair in "Readme.txt README.TXT" "sub/ａｂ.txt SUB/ＡＢ.TXT"; do
  set -- $pair
  rm -rf "$work/case" && mkdir -p "$work/case/$(dirname "$1")" "$work/case/$(dirname "$2")"
  printf a >"$work/case/$1" && printf b >"$work/case/$2"
  expect_status 2 "cab of $1 beside $2" "$ynbpack" cab "$work/case" "$work/e.cab"
  grep -F "$(basename "$1")'" "$work/err" | grep -F "$(basename "$2")'" | grep -qF 'have one stored name' \
    || fail "case message: $(cat "$work/err")"
done
for size in 0 -1 12x 1.5M 3G 2048M 99999999999 ''; do
  expect_status 2 "--folder-size '$size'" "$ynbpack" cab --folder-size "$size" "$tree" "$work/e.cab"
done
expect_status 2 "--folder-size without a value" "$ynbpack" cab "$tree" "$work/e.cab" --folder-size
expect_status 2 "--folder-size twice" "$ynbpack" cab --folder-size 1M --folder-size 2M "$tree" "$work/e.cab"
expect_status 0 "--folder-size at its largest" "$ynbpack" cab --folder-size 2147450880 "$tree" "$work/e.cab"
expect_status 2 "list of a non-cabinet" "$ynbpack" list "$tree/readme.txt"
grep -q 'not a cabinet' "$work/err" || fail "list message: $(cat "$work/err")"
head -c 100 "$work/folders.cab" >"$work/cut.cab"
expect_status 2 "list of a cut cabinet" "$ynbpack" list "$work/cut.cab"
expect_status 2 "list without a cabinet" "$ynbpack" list
expect_status 2 "payload without key" "$ynbpack" payload "$work/out.cab" "$work/e.dat"
expect_status 2 "payload with a bad key" "$ynbpack" payload --key x1 "$work/out.cab" "$work/e.dat"
expect_status 2 "payload of a missing file" "$ynbpack" payload --key 1 "$work/nothing" "$work/e.dat"
expect_status 2 "payload of a non-cabinet" "$ynbpack" payload --key 1 "$tree/readme.txt" "$work/e.dat"
expect_status 2 "payload of an empty file" "$ynbpack" payload --key 1 "$tree/zero.dat" "$work/e.dat"
expect_status 2 "payload with one file" "$ynbpack" payload --key 1 "$work/out.cab"
expect_status 2 "unpayload with the wrong key" "$ynbpack" unpayload --key 513 "$work/data00.dat" "$work/e.cab"
grep -q 'wrong key' "$work/err" || fail "wrong-key message: $(cat "$work/err")"
expect_status 2 "unpayload to an unwritable place" "$ynbpack" unpayload --key 512 "$work/data00.dat" "$work/no/x.cab"

finish "ynbpack payload"
