#!/usr/bin/env bash
# Builds the fixtures of the Windows extraction tests:
#   make-package-fixtures.sh YNBPACK KEYS_FILE OUT_DIR
# OUT_DIR/tree            the files (nested folders, a read-only file, times,
#                         empty, 32 KiB and 64 KiB multiples, a program, a
#                         UTF-8 name and a Shift-JIS name)
# OUT_DIR/content/N       the bytes of entry N, readable by any name
# OUT_DIR/expected.txt    N<TAB>size<TAB>mtime (Unix)<TAB>read-only<TAB>stored name (Shift-JIS)
# OUT_DIR/ynbpack.dat     the payload of `ynbpack cab --compression mszip` of the tree: one
#                         cabinet folder
# OUT_DIR/folders.dat     the same with `--folder-size 64K`: at least 3 folders
# OUT_DIR/lzx.dat         the payload of `ynbpack cab --compression lzx`: one folder
# OUT_DIR/lzxfolders.dat  the payload of `ynbpack cab --compression lzx:15 --folder-size 64K`:
#                         at least 3 folders, the largest past its window
# OUT_DIR/corpus          real files of this machine (programs, archives of code,
#                         message catalogues), random bytes, zeros past the largest
#                         window, empty files and files around the 32 KiB frames
# OUT_DIR/corpus15.dat, corpus21.dat  its payloads with --compression lzx:15
#                         --folder-size 1M and with lzx:21
# OUT_DIR/gcab.dat        the payload of Debian's `gcab -c -z` of the tree (UTF-8
#                         names, without the Shift-JIS byte name)
# OUT_DIR/evil.cab        names to be patched by the test into escaping ones
# OUT_DIR/case.cab        README.TXT (40,000 'U'), Readme.txq (40,000 'l') and
#                         zz.bin (40,000 random bytes), each in a cabinet folder
#                         of its own; the test patches Readme.txq into
#                         Readme.txt, a second name of one file on Windows
set -euo pipefail
ynbpack=$1 keys=$2 out=$3
key=$(sed -n 's/^ *payload *= *\([-0-9]*\).*/\1/p' "$keys")
[ -n "$key" ] || { echo "no payload key in $keys" >&2; exit 1; }
export TZ=UTC

[ -d "$out" ] && chmod -R u+w "$out"
rm -rf "$out"
mkdir -p "$out/tree/bin" "$out/tree/doc/a/b" "$out/content"
tree=$out/tree
printf 'hello\r\n' >"$tree/readme.txt"
: >"$tree/zero.dat"
head -c 200000 /dev/urandom >"$tree/bin/random.bin"
head -c 65536 /dev/zero >"$tree/doc/a/b/zeros.bin"
head -c 32768 /dev/urandom >"$tree/bin/block.bin"
head -c 131072 /dev/urandom >"$tree/bin/blocks.bin"
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$tree/bin/program.dll" # x64 code: LZX translates its calls
printf 'deep' >"$tree/doc/a/b/deep.txt"
printf 'locked' >"$tree/doc/readonly.txt"
printf 'utf8 name' >"$tree/doc/日本.txt"
printf 'sjis name' >"$tree/$(printf '\x95\x5c.txt')" # 表.txt, trail byte 0x5C
touch -d '2021-03-04 05:06:08' "$tree/readme.txt" "$tree/bin/random.bin" "$tree/doc/日本.txt"
touch -d '2010-07-08 09:10:12' "$tree/bin/program.dll" "$tree/bin/block.bin" "$tree/bin/blocks.bin" "$tree/doc/a/b/deep.txt" "$tree/zero.dat" "$tree/doc/a/b/zeros.bin" "$tree/$(printf '\x95\x5c.txt')"
touch -d '1999-12-31 23:59:58' "$tree/doc/readonly.txt"
chmod a-w "$tree/doc/readonly.txt"

n=0
: >"$out/expected.txt"
while IFS= read -r -d '' f; do
  rel=${f#./}
  stored=$(printf '%s' "$rel" | iconv -f UTF-8 -t CP932 2>/dev/null || printf '%s' "$rel")
  stored=$(printf '%s' "$stored" | tr '/' '\\')
  ro=0; (( (8#$(stat -c %a "$tree/$rel") & 8#222) == 0 )) && ro=1
  cp "$tree/$rel" "$out/content/$n"
  printf '%s\t%s\t%s\t%s\t%s\n' "$n" "$(stat -c %s "$tree/$rel")" "$(stat -c %Y "$tree/$rel")" "$ro" "$stored" >>"$out/expected.txt"
  n=$((n + 1))
done < <(cd "$tree" && find . -type f -print0)

work=$out/work
mkdir -p "$work"
"$ynbpack" cab --compression mszip "$tree" "$work/ynbpack.cab"
"$ynbpack" cab --compression mszip --folder-size 64K "$tree" "$work/folders.cab"
"$ynbpack" cab --compression lzx "$tree" "$work/lzx.cab"
"$ynbpack" cab --compression lzx:15 --folder-size 64K "$tree" "$work/lzxfolders.cab"
for cab in folders lzxfolders; do
  folders=$("$ynbpack" list "$work/$cab.cab" | grep -c '^folder')
  [ "$folders" -ge 3 ] || { echo "$cab.cab has $folders folders, wanted at least 3" >&2; exit 1; }
done
(cd "$tree" && LC_ALL=C find . -type f ! -name "$(printf '\x95')?.txt" | sed 's,^\./,,' | LC_ALL=C sort | xargs -d '\n' gcab -c -z "$work/gcab.cab")
mkdir -p "$work/case"
head -c 40000 /dev/zero | tr '\0' U >"$work/case/README.TXT"
head -c 40000 /dev/zero | tr '\0' l >"$work/case/Readme.txq"
head -c 40000 /dev/urandom >"$work/case/zz.bin"
"$ynbpack" cab --folder-size 32K "$work/case" "$out/case.cab"
for cab in ynbpack folders lzx lzxfolders gcab; do
  "$ynbpack" payload --key "$key" "$work/$cab.cab" "$out/$cab.dat"
done

corpus=$out/corpus
. "$(dirname "${BASH_SOURCE[0]}")/real-corpus.sh"
real_corpus "$corpus" 30 2200000
"$ynbpack" cab --compression lzx:15 --folder-size 1M "$corpus" "$work/corpus15.cab"
"$ynbpack" cab --compression lzx:21 "$corpus" "$work/corpus21.cab"
for cab in corpus15 corpus21; do
  "$ynbpack" payload --key "$key" "$work/$cab.cab" "$out/$cab.dat"
done
rm -rf "$work"

# Names the test patches in place into ..\ynbup.txt, \ynbroot.txt,
# C:\ynbdrive.txt, a:ynbstream.txt, nul.txt and ynbdot.
mkdir -p "$out/evil/zz" "$out/evil/CQ"
for f in good.txt zz/ynbup.txt Qynbroot.txt CQ/ynbdrive.txt aQynbstream.txt nuq.txt ynbdotQ last.txt; do
  printf 'content of %s' "$f" >"$out/evil/$f"
done
"$ynbpack" cab "$out/evil" "$out/evil.cab"
