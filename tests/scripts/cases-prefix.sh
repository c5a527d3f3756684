#!/usr/bin/env bash
# Prepares the Wine prefix of the installation cases:
#   cases-prefix.sh WINE_RUN
# Creates the prefix and maps drive D: to a folder of the Wine root, so that a
# case can tell the program's drive, the staging folder's drive and C: apart.
set -euo pipefail
wine_run=$1
root=${YNB_WINE_ROOT:?}

"$wine_run" cmd /c exit 0 >/dev/null
mkdir -p "$root/drive_d"
ln -sfn "$(cd "$root" && pwd)/drive_d" "$root/prefix/dosdevices/d:"
