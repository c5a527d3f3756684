#!/usr/bin/env bash
# Ends the Wine server and the Xvfb display that the launcher left running.
#   wine-stop.sh WINE_ROOT
root=${1:?usage: wine-stop.sh WINE_ROOT}
[ -d "$root" ] || exit 0
WINEPREFIX="$root/prefix" /usr/lib/wine/wineserver64 -k 2>/dev/null
if [ -f "$root/xvfb.pid" ]; then
  kill "$(cat "$root/xvfb.pid")" 2>/dev/null
  rm -f "$root/xvfb.pid" "$root/xvfb.display"
fi
exit 0
