#!/usr/bin/env bash
# Prepares a Wine prefix for the window tests:
#   ui-prefix.sh WINE_RUN MODE
# (The launcher lets Wine manage the windows itself when it makes a prefix.)
# Modes for the default destination folder:
#   plain         the prefix as it is
#   other-folder  "C:\Program Files" is missing; the shell names C:\Apps
#   no-folder     "C:\Program Files" is missing; the shell names no folder
set -euo pipefail
wine_run=$1
mode=$2
root=${YNB_WINE_ROOT:?}

# Any run creates the prefix first.
"$wine_run" cmd /c exit 0 >/dev/null
drive_c="$root/prefix/drive_c"
case $mode in
  plain) ;;
  other-folder|no-folder)
    if [ -d "$drive_c/Program Files" ]; then
      rm -rf "$drive_c/Program Files.away"
      mv "$drive_c/Program Files" "$drive_c/Program Files.away"
    fi
    key='HKLM\Software\Microsoft\Windows\CurrentVersion'
    if [ "$mode" = other-folder ]; then
      mkdir -p "$drive_c/Apps"
      # Both registry views: 32-bit programs read their own.
      for view in 64 32; do
        "$wine_run" reg add "$key" /v ProgramFilesDir /d 'C:\Apps' /f /reg:$view >/dev/null
      done
    else
      for view in 64 32; do
        "$wine_run" reg delete "$key" /v ProgramFilesDir /f /reg:$view >/dev/null 2>&1 || true
      done
      "$wine_run" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
        /v 'ProgramFilesDir' /d '' /f >/dev/null
    fi
    ;;
  *) echo "ui-prefix: unknown mode $mode" >&2; exit 2 ;;
esac
