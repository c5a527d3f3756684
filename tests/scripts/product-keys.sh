# Sourced by the scripts that make payloads for the tests.

# product_key NAME KEYS_FILE: the three-digit key NAME of a keys.txt; exits
# with 2, naming the file, when it holds none.
product_key() {
  local value
  value=$(sed -n "s/^$1=\([0-9][0-9]*\).*/\1/p" "$2")
  [ -n "$value" ] || { echo "$(basename "$0"): no $1 key in $2" >&2; exit 2; }
  echo "$value"
}
