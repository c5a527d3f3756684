#!/usr/bin/env bash
# Runs a Windows program under Wine, isolated from the real home:
#   wine-run.sh PROGRAM.exe [ARGS...]
# The Wine prefix, its home folder and the Xvfb display live under
# $YNB_WINE_ROOT (default: build/wine beside this script's project). The prefix
# is created once and reused; every call shares it, so tests keep to registry
# keys and folder names of their own. Exits 77 when this host cannot run the
# program's architecture (a host without 32-bit support runs no 32-bit Wine).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=${YNB_WINE_ROOT:-$here/../build/wine}
mkdir -p "$root"
root=$(cd "$root" && pwd)

export WINEPREFIX="$root/prefix"
export HOME="$root/home"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${YNB_WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset WINEARCH

program=${1:?usage: wine-run.sh PROGRAM.exe [ARGS...]}

# The loader that matches the program: wine64 for PE32+, the 32-bit loader
# (through WoW64 in the same prefix) for PE32.
loader64=/usr/lib/wine/wine64
loader32=/usr/lib/wine/wine
case "$(file -b "$program")" in
  *PE32+*) loader=$loader64 ;;
  *PE32*)
    if ! "$loader32" --version >/dev/null 2>&1; then
      echo "wine-run: this host cannot execute 32-bit programs; skipping $(basename "$program")" >&2
      exit 77
    fi
    loader=$loader32 ;;
  *) loader=$loader64 ;;
esac
export WINELOADER=$loader64

# One Xvfb for every run that finds no display.
if [ -z "${DISPLAY:-}" ]; then
  exec 8>"$root/xvfb.lock"
  flock 8
  display=""
  if [ -f "$root/xvfb.display" ] && [ -f "$root/xvfb.pid" ] && kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null; then
    display=$(cat "$root/xvfb.display")
  else
    for n in $(seq 90 140); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
      setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      echo $! >"$root/xvfb.pid"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      display=":$n"
      echo "$display" >"$root/xvfb.display"
      break
    done
  fi
  flock -u 8
  exec 8>&-
  export DISPLAY=$display
fi

# Create the prefix once; Desktop and Documents must exist first, or Wine maps
# those folders to the home folder itself.
if [ ! -f "$WINEPREFIX/.ynb-ready" ]; then
  exec 9>"$root/prefix.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.ynb-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$HOME/Desktop" "$HOME/Documents"
    "$loader64" wineboot -i </dev/null >/dev/null 2>&1
    /usr/lib/wine/wineserver64 -w || true
    # No window manager runs on the virtual screen: Wine manages its windows
    # itself, so that a maximised window fills the screen and frames are drawn.
    "$loader64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    /usr/lib/wine/wineserver64 -w || true
    touch "$WINEPREFIX/.ynb-ready"
  fi
  flock -u 9
  exec 9>&-
fi

# The server outlives the program for a few seconds; start it detached from
# our output, so that nobody waits on a pipe it keeps open (it exits at once
# when one is running already).
setsid /usr/lib/wine/wineserver64 -p5 </dev/null >/dev/null 2>&1 || true
exec "$loader" "$@"
