#!/usr/bin/env bash
# Ends the Wine servers and Xvfb displays that the launcher left running for
# every Wine root of a build tree (build/wine, build/wine-*).
#   wine-stop.sh BUILD_DIR
build=${1:?usage: wine-stop.sh BUILD_DIR}
for root in "$build"/wine "$build"/wine-*; do
  [ -d "$root" ] || continue
  [ -d "$root/prefix" ] && WINEPREFIX="$root/prefix" /usr/lib/wine/wineserver64 -k 2>/dev/null
  if [ -f "$root/xvfb.pid" ]; then
    kill "$(cat "$root/xvfb.pid")" 2>/dev/null
    rm -f "$root/xvfb.pid" "$root/xvfb.display"
  fi
done
exit 0
