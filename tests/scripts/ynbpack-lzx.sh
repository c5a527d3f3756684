#!/usr/bin/env bash
# ynbpack cab and build --compression: LZX cabinets of every window, MSZIP and
# stored ones, extracted byte for byte by cabextract (libmspack's decoder) and
# by gcab:
# real programs and message catalogues of this machine, random bytes, zeros
# past the window, files around the 32 KiB frames, empty files, a folder of
# one byte; the same tree gives the same bytes; bad values exit with 2.
#   ynbpack-lzx.sh YNBPACK SOURCE_DIR
set -uo pipefail
ynbpack=$1 src=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"
export TZ=UTC

tree=$work/tree
# The real files in a folder of their own, the cuts in another.
. "$here/real-corpus.sh"
real_corpus "$tree/files" 40 2500000
mkdir -p "$tree/edge"
mv "$tree/files/empty.txt" "$tree/files"/part*.bin "$tree/edge/"
mkdir -p "$work/one"
printf 'x' >"$work/one/a"

# check_cab WHAT TREE ARGS...: cab of TREE with ARGS, extracted by cabextract
# into exactly TREE's files.
check_cab() {
  local what=$1 from=$2; shift 2
  rm -rf "$work/x" && mkdir "$work/x"
  expect_status 0 "$what" "$ynbpack" cab "$@" "$from" "$work/c.cab"
  cabextract -q -d "$work/x" "$work/c.cab" >"$work/cabextract" 2>&1 || fail "$what: cabextract: $(head -5 "$work/cabextract")"
  diff -r "$from" "$work/x" >/dev/null || fail "$what: extracted files differ"
  # gcab's decoder too.
  rm -rf "$work/g" && mkdir "$work/g"
  gcab -x -C "$work/g" "$work/c.cab" >/dev/null 2>&1 || fail "$what: gcab cannot extract"
  diff -r "$from" "$work/g" >/dev/null || fail "$what: files extracted by gcab differ"
}

for compression in lzx:15 lzx:16 lzx:19 lzx:21; do
  check_cab "$compression" "$tree" --compression "$compression"
  check_cab "$compression, folders of 64K" "$tree" --compression "$compression" --folder-size 64K
  check_cab "$compression, one byte" "$work/one" --compression "$compression"
done
# The folder records carry type 3 with the window in bits 8-12.
"$ynbpack" cab --compression lzx:17 "$work/one" "$work/c.cab"
[ "$(xxd -s 42 -l 2 -p "$work/c.cab")" = "0311" ] || fail "typeCompress of lzx:17: $(xxd -s 42 -l 2 -p "$work/c.cab")"
"$ynbpack" list "$work/c.cab" | grep -q "^folder	0	.*	1	LZX$" || fail "list: $("$ynbpack" list "$work/c.cab")"
"$ynbpack" cab --compression lzx "$work/one" "$work/c.cab"
[ "$(xxd -s 42 -l 2 -p "$work/c.cab")" = "0315" ] || fail "lzx without a window is not lzx:21"

"$ynbpack" cab --compression lzx "$tree" "$work/lzx.cab"
"$ynbpack" cab --compression lzx "$tree" "$work/again.cab"
cmp -s "$work/lzx.cab" "$work/again.cab" || fail "two LZX cabinets of the same tree differ"
check_cab "mszip" "$tree" --compression mszip
cp "$work/c.cab" "$work/mszip.cab"
check_cab "default" "$tree"
cmp -s "$work/c.cab" "$work/lzx.cab" || fail "the default is not lzx:21"
check_cab "none" "$tree" --compression none
"$ynbpack" list "$work/c.cab" | grep -q "	none$" || fail "stored folders not listed as none"
lzx=$(stat -c %s "$work/lzx.cab") mszip=$(stat -c %s "$work/mszip.cab")
[ "$lzx" -lt "$mszip" ] || fail "LZX ($lzx bytes) not smaller than MSZIP ($mszip)"

for bad in lzx:14 lzx:22 lzx: lzx:2x zip ""; do
  expect_status 2 "--compression '$bad'" "$ynbpack" cab --compression "$bad" "$tree" "$work/bad.cab"
done
expect_status 2 "--compression twice" "$ynbpack" cab --compression lzx --compression none "$tree" "$work/bad.cab"
expect_status 2 "--compression without a value" "$ynbpack" cab "$tree" "$work/bad.cab" --compression

# build: the payload's cabinet has LZX folders, and comes back whole.
key=$(sed -n 's/^ *payload *= *\([-0-9]*\).*/\1/p' "$src/product/demo/keys.txt")
cp "$tree/files/libwinpthread-1.dll" "$work/prog.exe"
expect_status 0 "build --compression lzx:16" "$ynbpack" build --no-setup "$src/product/demo" "$work/dist" --compression lzx:16 \
  --add "$work/prog.exe=Hanamaru\\ins\\kakeibo.exe"
"$ynbpack" unpayload --key "$key" "$work/dist/data00.dat" "$work/payload.cab"
"$ynbpack" list "$work/payload.cab" | grep -q "^folder	.*	LZX$" || fail "build: no LZX folder"
cabextract -q -t "$work/payload.cab" >/dev/null 2>&1 || fail "build: cabextract cannot test the payload"
expect_status 2 "build --compression lzx:9" "$ynbpack" build --no-setup "$src/product/demo" "$work/dist2" --compression lzx:9 \
  --add "$work/prog.exe=Hanamaru\\ins\\kakeibo.exe"

finish ynbpack-lzx
