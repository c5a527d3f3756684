#!/usr/bin/env bash
# ynbpack.exe under Wine against the host's ynbpack: for the same product
# folder, file times and time zone, the same bytes (the payload, setup.exe of
# four files and of one, the documents, the package manager's manifests), on
# the demo product and on one with Japanese names (its top folder, folders
# and files, and the folder it lies in); the stubs found in the build tree
# without --stubs; a signing command run through cmd; a refusal's message in
# UTF-8 with exit status 2.
#   ynbpack-windows.sh WINE_RUN YNBPACK YNBPACK_EXE PRODUCT WINBUILD
set -uo pipefail
wine_run=$1 ynbpack=$2 ynbpack_exe=$3 product=$4 build=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"
export TZ=Asia/Tokyo
windows() { printf 'Z:%s' "${1//\//\\}"; } # a host path as Wine's Windows path

status=0
"$wine_run" "$ynbpack_exe" --help >"$work/help" 2>&1 || status=$?
[ "$status" -eq 77 ] && exit 77
[ "$status" -eq 0 ] && grep -q '^usage: ynbpack' "$work/help" || { echo "ynbpack.exe does not start: $(cat "$work/help")"; exit 1; }

# The Japanese product: the demo with the top folder 花丸, the folder help as
# ヘルプ, a file ソフト説明.txt (a trail byte 0x5C in Shift-JIS), in 製品.
japanese=$work/製品
cp -r "$product" "$japanese"
mv "$japanese/payload/Hanamaru" "$japanese/payload/花丸"
mv "$japanese/payload/花丸/ins/help" "$japanese/payload/花丸/ins/ヘルプ"
printf '説明\r\n' >"$japanese/payload/花丸/ins/HanamaruData/ソフト説明.txt"
iconv -f CP932 -t UTF-8 "$product/setup.cfg" | sed 's/Hanamaru/花丸/' | iconv -f UTF-8 -t CP932 >"$japanese/setup.cfg"
iconv -f CP932 -t UTF-8 "$product/manifest.txt" | sed 's/^help\\/ヘルプ\\/' | iconv -f UTF-8 -t CP932 \
  >"$japanese/manifest.txt"
mkdir -p "$work/built/花丸/ins"
cp "$build/payload/Hanamaru/ins/kakeibo.exe" "$work/built/花丸/ins/"
# Every file of both products with one time, the same for both tools.
find "$japanese" "$work/built" -exec touch -h -d '2026-04-01 12:34:56 UTC' {} +

# make TOOL OUT PRODUCT TREE [ARGS...]: the four files, the single file and the manifests.
make() {
  local tool=$1 out=$2 folder=$3 tree=$4; shift 4
  local run=("$ynbpack")
  [ "$tool" = host ] || run=("$wine_run" "$ynbpack_exe")
  p() { if [ "$tool" = windows ]; then windows "$1"; else printf '%s' "$1"; fi; }
  "${run[@]}" build "$(p "$folder")" "$(p "$out/four")" --arch x64 --tree "$(p "$tree")" "$@" \
    && "${run[@]}" build "$(p "$folder")" "$(p "$out/single")" --arch x64 --tree "$(p "$tree")" --single-file "$@" \
    && "${run[@]}" winget "$(p "$folder")" "$(p "$out/winget")" "x64=$(p "$out/single/setup.exe"),https://example.com/s.exe"
}
for name in demo japanese; do
  folder=$product tree=$build/payload
  [ $name = demo ] || folder=$japanese tree=$work/built
  make host "$work/$name-host" "$folder" "$tree" --stubs "$build/stub" >"$work/out" 2>&1 \
    || fail "$name: the host's ynbpack: $(cat "$work/out")"
  # ynbpack.exe finds the stubs of its build tree by itself.
  make windows "$work/$name-windows" "$folder" "$tree" >"$work/out" 2>&1 \
    || fail "$name: ynbpack.exe: $(cat "$work/out")"
  diff -r "$work/$name-host" "$work/$name-windows" >"$work/diff" 2>&1 \
    || fail "$name: the two tools' outputs differ: $(head -5 "$work/diff")"
  [ "$(find "$work/$name-windows" -type f | wc -l)" -eq 8 ] || fail "$name: $(find "$work/$name-windows" -type f)"
done
# The Japanese names are in the payload in Shift-JIS.
key=$(sed -n 's/^ *payload *= *\([0-9]*\).*/\1/p' "$product/keys.txt")
"$ynbpack" unpayload --key "$key" "$work/japanese-windows/four/data00.dat" "$work/j.cab" \
  && "$ynbpack" list "$work/j.cab" | grep -a "^file" | cut -f7 | iconv -f CP932 -t UTF-8 >"$work/names" \
  || fail "the Japanese product's cabinet"
for name in '花丸\ins\ヘルプ\index.txt' '花丸\ins\HanamaruData\ソフト説明.txt' '花丸\uninstall.exe'; do
  grep -qxF "$name" "$work/names" || fail "no $name in $(cat "$work/names")"
done
grep -aq $'\t2026-04-01 21:34:56\t' <("$ynbpack" list "$work/j.cab") || fail "the file times in Tokyo's time"

# A refusal: exit status 2 and the message in UTF-8, naming the Japanese folder.
status=0
"$wine_run" "$ynbpack_exe" check "$(windows "$work/無い製品")" >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "check of a missing folder: status $status"
grep -q '無い製品: not a folder' "$work/err" || fail "check's message: $(cat "$work/err")"

# A signing command runs through cmd with the programs' paths: one that copies
# without signing is refused.
status=0
"$wine_run" "$ynbpack_exe" build "$(windows "$product")" "$(windows "$work/signed")" --arch x64 \
  --tree "$(windows "$build/payload")" --sign 'copy /b {in} {out}' >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] && grep -q 'signing uninstall.exe left it without a signature' "$work/err" \
  || fail "a signing command through cmd: status $status, $(cat "$work/err")"

finish "ynbpack.exe"
