#!/usr/bin/env bash
# Builds the fixtures of the Windows payload and cabinet tests:
#   make-package-fixtures.sh YNBPACK KEYS_FILE OUT_DIR
# OUT_DIR/tree            the files (nested folders, a read-only file, times,
#                         a UTF-8 name and a Shift-JIS name)
# OUT_DIR/content/N       the bytes of entry N, readable by any name
# OUT_DIR/expected.txt    N<TAB>size<TAB>mtime (Unix)<TAB>read-only<TAB>stored name (Shift-JIS)
# OUT_DIR/ynbpack.cab     `ynbpack cab` of the tree
# OUT_DIR/gcab.cab        Debian's `gcab -c -z` of the tree (UTF-8 names, no Shift-JIS byte name)
# OUT_DIR/*.list          `cabextract -l` of each: size<TAB>name (backslashes)
# OUT_DIR/evil.cab        names to be patched by the test into escaping ones
# OUT_DIR/cNNN / pNNN.dat a cabinet-like input of NNN bytes and its payload
# OUT_DIR/ynbpack.dat     the payload of ynbpack.cab
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
printf 'deep' >"$tree/doc/a/b/deep.txt"
printf 'locked' >"$tree/doc/readonly.txt"
printf 'utf8 name' >"$tree/doc/日本.txt"
printf 'sjis name' >"$tree/$(printf '\x95\x5c.txt')" # 表.txt, trail byte 0x5C
touch -d '2021-03-04 05:06:08' "$tree/readme.txt" "$tree/bin/random.bin" "$tree/doc/日本.txt"
touch -d '2010-07-08 09:10:12' "$tree/doc/a/b/deep.txt" "$tree/zero.dat" "$tree/doc/a/b/zeros.bin" "$tree/$(printf '\x95\x5c.txt')"
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

"$ynbpack" cab "$tree" "$out/ynbpack.cab"
(cd "$tree" && LC_ALL=C find . -type f ! -name "$(printf '\x95')?.txt" | sed 's,^\./,,' | LC_ALL=C sort | xargs -d '\n' gcab -c -z "$out/gcab.cab")

listing() { # cabextract -l as size<TAB>name with backslashes
  cabextract -l "$1" | LC_ALL=C sed -n 's/^ *\([0-9][0-9]*\) | [0-9.]* [0-9:]* | \(.*\)$/\1\t\2/p' | tr '/' '\\'
}
listing "$out/ynbpack.cab" >"$out/ynbpack.list"
listing "$out/gcab.cab" >"$out/gcab.list"

# Names the test patches in place into ..\ynbup.txt, \ynbroot.txt,
# C:\ynbdrive.txt, a:ynbstream.txt, nul.txt and ynbdot.
mkdir -p "$out/evil/zz" "$out/evil/CQ"
for f in good.txt zz/ynbup.txt Qynbroot.txt CQ/ynbdrive.txt aQynbstream.txt nuq.txt ynbdotQ last.txt; do
  printf 'content of %s' "$f" >"$out/evil/$f"
done
"$ynbpack" cab "$out/evil" "$out/evil.cab"

for size in 1000 65536 196608 131172; do
  { printf 'MSCF'; head -c $((size - 4)) /dev/urandom; } >"$out/c$size"
  "$ynbpack" payload --key "$key" "$out/c$size" "$out/p$size.dat"
done
"$ynbpack" payload --key "$key" "$out/ynbpack.cab" "$out/ynbpack.dat"
