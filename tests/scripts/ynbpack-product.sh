#!/usr/bin/env bash
# ynbpack manifest and build: the scrambled manifest, the refused manifests
# (exit status 2, a message naming the line) and a product's distribution.
#   ynbpack-product.sh YNBPACK SOURCE_DIR
set -uo pipefail
ynbpack=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_error() { # description expected-message-part command...
  local what=$1 part=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq 2 ] || fail "$what: exit $got, wanted 2"
  grep -q "^ynbpack: .*$part" "$work/err" || fail "$what: message '$(cat "$work/err")' lacks '$part'"
}

# A good manifest: scrambled over its whole length, unscrambles to itself.
printf 'a.txt\tDESKTOP\r\nData\\\tMYDOC\nb\t..\r' >"$work/m.txt"
"$ynbpack" manifest --key 829 "$work/m.txt" "$work/m.com" || fail "manifest of a good text"
[ "$(stat -c %s "$work/m.com")" -eq "$(stat -c %s "$work/m.txt")" ] || fail "manifest changed the length"
cmp -s "$work/m.txt" "$work/m.com" && fail "manifest left the text plain"
"$ynbpack" unscramble --key 829 "$work/m.com" "$work/back"
cmp -s "$work/m.txt" "$work/back" || fail "manifest does not unscramble to the text"

# Refused manifests name their fault and line, and write nothing.
printf 'a\tb\r\nno tab\r\n' >"$work/bad"
expect_error "line without TAB" "line 2 has no TAB" "$ynbpack" manifest --key 829 "$work/bad" "$work/bad.com"
[ -e "$work/bad.com" ] && fail "a refused manifest was written"
printf 'a\tb\r\nc\td' >"$work/bad"
expect_error "last line without line end" "line 2 does not end with a line end" "$ynbpack" manifest --key 1 "$work/bad" "$work/x"
printf 'a\tb\r\n\r\n\r\nc\td\r\n' >"$work/bad"
expect_error "empty line" "line 2 is empty" "$ynbpack" manifest --key 1 "$work/bad" "$work/x"
head -c 4097 /dev/zero | tr '\0' 'a' >"$work/bad"
expect_error "4097 bytes" "at most 4096" "$ynbpack" manifest --key 1 "$work/bad" "$work/x"
for i in $(seq 257); do printf 'f\td\n'; done >"$work/bad"
expect_error "257 lines" "more than 256 lines" "$ynbpack" manifest --key 1 "$work/bad" "$work/x"
expect_error "missing key" "missing --key" "$ynbpack" manifest "$work/m.txt" "$work/x"

# A product's distribution.
keys() { grep "^$1=" "$src/product/demo/keys.txt" | cut -d= -f2; }
printf 'MZ-program' >"$work/prog.exe"
printf 'MZ-uninstaller' >"$work/uninst.exe"
"$ynbpack" build "$src/product/demo" "$work/dist" --add "$work/prog.exe=Hanamaru\\ins\\kakeibo.exe" \
  --uninstaller "$work/uninst.exe" >"$work/out" 2>&1 \
  || fail "build of the demo product: $(cat "$work/out")"
for f in setup.txt license.txt; do cmp -s "$src/product/demo/$f" "$work/dist/$f" || fail "build: $f not copied"; done
"$ynbpack" unpayload --key "$(keys payload)" "$work/dist/data00.dat" "$work/p.cab" || fail "unpayload of the build"
mkdir -p "$work/x"
cabextract -q -d "$work/x" "$work/p.cab" >/dev/null 2>&1 || fail "cabextract of the build"
cmp -s "$work/prog.exe" "$work/x/Hanamaru/ins/kakeibo.exe" || fail "build: --add file missing"
cmp -s "$work/uninst.exe" "$work/x/Hanamaru/uninstall.exe" || fail "build: the uninstaller is not in the install folder"
cmp -s "$src/product/demo/payload/Hanamaru/ins/readme.txt" "$work/x/Hanamaru/ins/readme.txt" || fail "build: payload file missing"
"$ynbpack" unscramble --key "$(keys manifest)" "$work/x/Hanamaru/ins/ynb_inst.com" "$work/manifest.plain" \
  || fail "no manifest in the staging folder"
cmp -s "$src/product/demo/manifest.txt" "$work/manifest.plain" || fail "build: manifest differs"

# A product whose manifest names a source the payload lacks, and --add paths
# out of the payload, are refused.
mkdir -p "$work/prod/payload/Top/ins"
cp "$src/product/demo/keys.txt" "$src/product/demo/setup.txt" "$src/product/demo/license.txt" "$work/prod/"
printf 'Sunday   :1\nMonday   :Name\nTuesday  :3\nWednesday:Top\\Sub\nThirsday :Top\\p.exe\n' >"$work/prod/setup.cfg"
printf 'here.txt\tDESKTOP\r\nmissing\\\t..\r\n' >"$work/prod/manifest.txt"
touch "$work/prod/payload/Top/ins/here.txt"
expect_error "missing source" "line 2: the payload holds no folder 'missing'" "$ynbpack" build "$work/prod" "$work/d2"
printf 'here.txt\tDESKTOP\r\n' >"$work/prod/manifest.txt"
"$ynbpack" build "$work/prod" "$work/d2" >/dev/null 2>&1 || fail "build of a product with its first component Top"
expect_error "--add out of the payload" "not a relative path inside" \
  "$ynbpack" build "$work/prod" "$work/d3" --add "$work/prog.exe=..\\x.exe"
expect_error "--add absolute" "not a relative path inside" \
  "$ynbpack" build "$work/prod" "$work/d3" --add "$work/prog.exe=C:\\x.exe"
# The uninstaller: a note about files it will leave, and no second one.
touch "$work/prod/payload/Top/left.txt"
"$ynbpack" build "$work/prod" "$work/d4" --uninstaller "$work/uninst.exe" >"$work/out" 2>&1 \
  || fail "build with an uninstaller: $(cat "$work/out")"
grep -q "1 file(s) of the payload lie outside the staging folder" "$work/out" || fail "no note of the file left: $(cat "$work/out")"
cp "$work/uninst.exe" "$work/prod/payload/Top/uninstall.exe"
expect_error "second uninstaller" "already holds Top/uninstall.exe" \
  "$ynbpack" build "$work/prod" "$work/d4" --uninstaller "$work/uninst.exe"
expect_error "uninstaller missing" "is not a file" "$ynbpack" build "$work/prod" "$work/d4" --uninstaller "$work/none.exe"
mkdir -p "$work/prod/payload/Top/ins" && touch "$work/prod/payload/Top/ins/ynb_inst.com"
expect_error "manifest in the payload" "already holds" "$ynbpack" build "$work/prod" "$work/d3"

[ "$failures" -eq 0 ] && echo "ynbpack product commands: all passed"
exit $((failures > 0))
