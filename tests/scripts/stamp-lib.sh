# The payload stamp area as the tests see it from outside: the marker bytes
# (src/package/PayloadStamp.cpp), how often they occur in a file, and the
# digest after them. Sourced by the stamp tests.
stamp_marker_hex=805e36f662b8bad20f58aa7a25219c501141de8a63812064

# The marker as a grep -P pattern of byte escapes.
stamp_marker_pattern() { printf '%s' "$stamp_marker_hex" | sed 's/../\\x&/g'; }

# Prints the byte offsets of the marker in FILE, one a line.
stamp_marker_offsets() { LC_ALL=C grep -obUaP "$(stamp_marker_pattern)" "$1" | cut -d: -f1; }

stamp_marker_count() { stamp_marker_offsets "$1" | wc -l; }

# Prints the 32 bytes after the (first) marker in FILE as hex.
stamp_digest_hex() {
  local at
  at=$(stamp_marker_offsets "$1" | head -1)
  [ -n "$at" ] || return 1
  tail -c +$((at + ${#stamp_marker_hex} / 2 + 1)) "$1" | head -c 32 | xxd -p -c 32
}
