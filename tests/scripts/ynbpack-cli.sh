#!/usr/bin/env bash
# The ynbpack command line: round trips, the configuration dump, the embedded
# product data and the errors (exit status 2 with a message).
#   ynbpack-cli.sh YNBPACK SOURCE_DIR
set -uo pipefail
ynbpack=$1 src=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"


# Round trips through files and through standard input and output.
head -c 200000 /dev/urandom >"$work/plain"
expect_status 0 "scramble file" "$ynbpack" scramble --key 829 "$work/plain" "$work/s"
cmp -s "$work/plain" "$work/s" && fail "scramble left the data unchanged"
[ "$(stat -c %s "$work/s")" -eq 200000 ] || fail "scramble changed the length"
expect_status 0 "unscramble file" "$ynbpack" unscramble --key 829 "$work/s" "$work/back"
cmp -s "$work/plain" "$work/back" || fail "file round trip differs"
"$ynbpack" scramble --key -12345 <"$work/plain" | "$ynbpack" unscramble --key -12345 >"$work/back2"
cmp -s "$work/plain" "$work/back2" || fail "pipe round trip differs"
"$ynbpack" unscramble --key 829 "$work/s" - >"$work/back3"
cmp -s "$work/plain" "$work/back3" || fail "'-' as output differs"
printf '' | "$ynbpack" scramble --key 1 >"$work/empty" || fail "empty input"
[ ! -s "$work/empty" ] || fail "empty input gave output"

# The configuration dump parses like the program does.
printf 'Sunday   :1\r\nMonday   : Name;x\r\nTuesday  :3\r\nWednesday:A\\B\r\nThirsday :A\\B\\p.exe\r\n' >"$work/cfg"
"$ynbpack" config-dump "$work/cfg" >"$work/dump" || fail "config-dump"
printf 'ProductName= Name;x\nProductFolder=A\\B\nProgramPath=A\\B\\p.exe\n' | cmp -s - "$work/dump" || fail "config-dump output: $(cat "$work/dump")"
"$ynbpack" config-dump <"$src/product/demo/setup.cfg" >"$work/demo" || fail "config-dump of the demo"
grep -q '^ProductFolder=Hanamaru$' "$work/demo" || fail "demo folder: $(cat "$work/demo")"

# The embedded product data: the length and the scrambled text unscramble to the file.
mkdir -p "$work/version"
expect_status 0 "embed" "$ynbpack" embed "$src/product/demo" "$work/ProductData.cpp" "$work/version"
python3 "$here/embedded-area.py" "$work/ProductData.cpp" "$work/area" || fail "no area in the source"
"$ynbpack" inspect "$work/area" >"$work/inspect" || fail "inspect of the embedded area"
"$ynbpack" config-dump "$src/product/demo/setup.cfg" | sed -n 's/^ProductName=/name=/p' | iconv -f CP932 -t UTF-8 \
  | cmp -s - <(grep '^name=' "$work/inspect") || fail "embedded name: $(cat "$work/inspect")"
grep -qx 'keys=[0-9]*,[0-9]*,[0-9]*' "$work/inspect" || fail "embedded keys: $(cat "$work/inspect")"
for program in setup uninstall; do
  [ -s "$work/version/$program.version" ] || fail "embed wrote no version resource of $program.exe"
done
mkdir -p "$work/big"
head -c 1000 /dev/zero | tr '\0' ' ' >"$work/big/setup.cfg"
cp "$src/product/demo/keys.txt" "$work/big/"
expect_status 2 "embed of a 1000-byte text" "$ynbpack" embed "$work/big" "$work/x.cpp"
grep -q 'at most 999' "$work/err" || fail "embed message: $(cat "$work/err")"
printf 'config=1\npayload=x\nmanifest=3\n' >"$work/big/keys.txt"
expect_status 2 "bad key in the key file" "$ynbpack" embed "$work/big" "$work/x.cpp"

# Errors.
expect_status 2 "no command" "$ynbpack"
expect_status 2 "unknown command" "$ynbpack" frobnicate
expect_status 2 "missing key" "$ynbpack" scramble "$work/plain"
expect_status 2 "key without value" "$ynbpack" scramble --key
expect_status 2 "key not an integer" "$ynbpack" scramble --key 12a "$work/plain"
expect_status 2 "key too large" "$ynbpack" scramble --key 99999999999 "$work/plain"
expect_status 2 "missing file" "$ynbpack" unscramble --key 1 "$work/nothing"
expect_status 2 "too many arguments" "$ynbpack" scramble --key 1 a b c
expect_status 2 "unwritable output" "$ynbpack" scramble --key 1 "$work/plain" "$work/no/such/dir/out"
expect_status 2 "config-dump of a missing file" "$ynbpack" config-dump "$work/nothing"

finish "ynbpack cli"
