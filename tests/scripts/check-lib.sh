# Sourced by the host-side check scripts: a scratch folder removed when the
# script ends, failures counted, one summary and exit status.

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect_status WANT WHAT COMMAND...: runs COMMAND with its output in
# $work/out and $work/err; a refusal (2) must say why on stderr, after
# "ynbpack: ".
expect_status() {
  local want=$1 what=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: exit $got, wanted $want ($(cat "$work/err"))"
  if [ "$want" -eq 2 ] && ! grep -q '^ynbpack: ' "$work/err"; then fail "$what: no message on stderr"; fi
}

# flip_byte FILE OFFSET: inverts one byte in place (a byte written over with
# a fixed value might be that value already).
flip_byte() {
  python3 -c '
import sys
with open(sys.argv[1], "r+b") as file:
    file.seek(int(sys.argv[2]))
    byte = file.read(1)
    file.seek(int(sys.argv[2]))
    file.write(bytes([byte[0] ^ 0xFF]))' "$1" "$2"
}

# finish NAME: the summary; exits 1 when anything failed.
finish() {
  if [ "$failures" -eq 0 ]; then echo "$1: all checks passed"; exit 0; fi
  echo "$1: $failures failed"
  exit 1
}
