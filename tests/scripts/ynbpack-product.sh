#!/usr/bin/env bash
# ynbpack manifest, build, check, embed and info: the scrambled manifest, the
# refused manifests (exit status 2, a message naming the line), a product's
# distribution, the check of a whole product folder (every problem in one
# message) and what product.txt gives.
#   ynbpack-product.sh YNBPACK SOURCE_DIR
set -uo pipefail
ynbpack=$1 src=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"

expect_error() { # description expected-message-part command...
  local what=$1 part=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq 2 ] || fail "$what: exit $got, wanted 2"
  head -1 "$work/err" | grep -q "^ynbpack: " || fail "$what: no message"
  grep -qF -- "$part" "$work/err" || fail "$what: message '$(cat "$work/err")' lacks '$part'"
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
"$ynbpack" build --no-setup "$src/product/demo" "$work/dist" --add "$work/prog.exe=Hanamaru\\ins\\kakeibo.exe" \
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
expect_error "missing source" "line 2: the payload holds no folder 'missing'" "$ynbpack" build --no-setup "$work/prod" "$work/d2"
printf 'here.txt\tDESKTOP\r\n' >"$work/prod/manifest.txt"
"$ynbpack" build --no-setup "$work/prod" "$work/d2" >/dev/null 2>&1 || fail "build of a product with its first component Top"
expect_error "--add out of the payload" "not a relative path inside" \
  "$ynbpack" build --no-setup "$work/prod" "$work/d3" --add "$work/prog.exe=..\\x.exe"
expect_error "--add absolute" "not a relative path inside" \
  "$ynbpack" build --no-setup "$work/prod" "$work/d3" --add "$work/prog.exe=C:\\x.exe"
# The uninstaller: a note about files it will leave, and no second one.
touch "$work/prod/payload/Top/left.txt"
"$ynbpack" build --no-setup "$work/prod" "$work/d4" --uninstaller "$work/uninst.exe" >"$work/out" 2>&1 \
  || fail "build with an uninstaller: $(cat "$work/out")"
grep -q "1 file(s) of the payload lie outside the staging folder" "$work/out" || fail "no note of the file left: $(cat "$work/out")"
cp "$work/uninst.exe" "$work/prod/payload/Top/uninstall.exe"
expect_error "second uninstaller" "already holds Top/uninstall.exe" \
  "$ynbpack" build --no-setup "$work/prod" "$work/d4" --uninstaller "$work/uninst.exe"
expect_error "uninstaller missing" "is not a file" "$ynbpack" build --no-setup "$work/prod" "$work/d4" --uninstaller "$work/none.exe"
mkdir -p "$work/prod/payload/Top/ins" && touch "$work/prod/payload/Top/ins/ynb_inst.com"
expect_error "manifest in the payload" "already holds" "$ynbpack" build --no-setup "$work/prod" "$work/d3"

expect_error "--setup missing" "--setup: '$work/none.exe' is not a file" \
  "$ynbpack" build "$src/product/demo" "$work/d5" --add "$work/prog.exe=Hanamaru\\ins\\kakeibo.exe" --setup "$work/none.exe"

# The check: the demo passes; a product with a fault in every file gets them
# all in one message, one a line, from check, build and embed alike.
"$ynbpack" check "$src/product/demo" >"$work/out" 2>&1 || fail "check of the demo: $(cat "$work/out")"
art=$src/src/app/art
bad=$work/broken
mkdir -p "$bad/art"
head -c 1000 /dev/zero | tr '\0' ' ' >"$bad/setup.cfg"
printf 'config=1000\npayload=x\nbogus=1\n' >"$bad/keys.txt"
printf 'a\tb\r\n\r\n' >"$bad/manifest.txt"
printf '# comment\nhomepage=x\nid=nodots\nversion\nurl=ftp://x\npublisher=A\nlicense=MIT\nlicense=MIT\n' >"$bad/product.txt"
head -c 5000 "$art/image1.bmp" >"$bad/art/image1.bmp"
echo "not an icon" >"$bad/art/image2.ico"
cp "$art/image2.ico" "$bad/art/program.ico"
expected=(
  "setup.cfg: the configuration text has 1000 bytes; at most 999 fit the program"
  "keys.txt:1: config 1000 lies outside 0..999" "keys.txt:2: payload 'x' is not a number"
  "keys.txt:3: unknown key 'bogus'" "keys.txt: no manifest key"
  "setup.txt: missing" "license.txt: missing" "payload: missing" "manifest.txt: line 2 is empty"
  "product.txt:2: unknown key 'homepage'" "product.txt:3: id: 'nodots' is no package identifier"
  "product.txt:4: expected name=value" "product.txt:5: url: 'ftp://x' is no http:// or https:// address"
  "product.txt:6: publisher: has 1 characters; 2 to 256 are allowed" "product.txt:8: the key license is given twice"
  "image1.bmp: cut short: its pixels end at byte 92550, the file has 5000"
  "image2.ico: not an icon file" "program.ico: holds no 16 x 16 image (it holds 32 x 32)"
)
for command in check build embed; do
  case $command in
    check) args=("$bad") ;; build) args=("$bad" "$work/d6") ;; embed) args=("$bad" "$work/x.cpp") ;;
  esac
  parts=("${expected[@]}")
  # embed compiles no payload: a build may bring it.
  [ "$command" != embed ] || parts=("${expected[@]/payload: missing/}")
  count=$(printf '%s\n' "${parts[@]}" | grep -c .)
  expect_error "$command of a broken product" "has $count problems:" "$ynbpack" "$command" "${args[@]}"
  # build names its first step before.
  lines=$((count + 1)) && [ "$command" != build ] || lines=$((count + 2))
  [ "$(wc -l <"$work/err")" -eq "$lines" ] || fail "$command: not one line a problem: $(cat "$work/err")"
  for part in "${parts[@]}"; do [ -z "$part" ] || grep -qF -- "$part" "$work/err" || fail "$command: no '$part'"; done
done
grep -q 'payload: missing' "$work/err" && fail "embed asks for the payload"

# Pictures: the size, either row order, and icon images outside the file.
good=$work/good
mkdir -p "$good/payload/Top/ins" "$good/art"
cp "$work/prod/"{keys.txt,setup.txt,license.txt,setup.cfg} "$good/"
printf 'here.txt\tDESKTOP\r\n' >"$good/manifest.txt"
touch "$good/payload/Top/ins/here.txt"
patch() { cp "$1" "$2"; printf "$4" | dd of="$2" bs=1 seek="$3" conv=notrunc status=none; }
patch "$art/image1.bmp" "$good/art/image1.bmp" 22 '\012\377\377\377'   # height -246: top-down rows
"$ynbpack" check "$good" >"$work/out" 2>&1 || fail "check of a top-down bitmap: $(cat "$work/out")"
patch "$art/image1.bmp" "$good/art/image1.bmp" 18 '\174'
expect_error "124 pixels wide" "124 x 246 pixels; it must be 125 x 246" "$ynbpack" check "$good"
rm "$good/art/image1.bmp"
patch "$art/program.ico" "$good/art/program.ico" 18 '\377\377\000\000'
expect_error "icon image past the end" "program.ico: its image 1 (16 x 16) lies outside the file" "$ynbpack" check "$good"
rm "$good/art/program.ico"

# product.txt: into the program in Shift-JIS (empty without it), out through info.
# embedded: the area embed compiles, read back by inspect.
embedded() {
  "$ynbpack" embed "$good" "$work/area.cpp" || fail "embed $1"
  python3 "$here/embedded-area.py" "$work/area.cpp" "$work/area" && "$ynbpack" inspect "$work/area" >"$work/inspect" \
    || fail "inspect of the area of embed $1"
}
embedded "without product.txt"
grep -qx 'publisher=' "$work/inspect" || fail "embed without product.txt: $(cat "$work/inspect")"
printf '\357\273\277version=2.1\r\npublisher=はなまる#ソフト\r\nurl=https://example.com/a#b\r\n' >"$good/product.txt"
embedded "with product.txt"
for pair in "version=2.1" "publisher=はなまる#ソフト" "url=https://example.com/a#b"; do
  grep -qxF "$pair" "$work/inspect" || fail "embed: not $pair in $(cat "$work/inspect")"
done
"$ynbpack" info "$good" >"$work/info" || fail "info"
printf 'name=Name\nfolder=Top\nversion=2.1\npublisher=はなまる#ソフト\nurl=https://example.com/a#b\n' | cmp -s - "$work/info" \
  || fail "info: $(cat "$work/info")"
printf 'publisher=%s\n' "$(printf '家%.0s' $(seq 130))" >"$good/product.txt"
expect_error "publisher too long for the entry" "260 bytes in Shift-JIS; the uninstall entry takes at most 259" "$ynbpack" check "$good"
printf 'publisher=はなまる😀\n' >"$good/product.txt"
expect_error "publisher beyond Shift-JIS" "publisher: has characters without a Shift-JIS form" "$ynbpack" check "$good"

finish "ynbpack product commands"
