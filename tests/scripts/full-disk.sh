#!/usr/bin/env bash
# Runs a Windows program with a small, nearly full volume at hand: a tmpfs of
# 64 KiB mounted in the Wine root and linked as a drive of its prefix, named
# to the program by YNB_FULL_DRIVE ("T:"). Exits 77 (skipped) where the
# host refuses the mount.
#   full-disk.sh WINE_RUN PROGRAM [ARGS...]
set -uo pipefail
wine_run=$1; shift
root=${YNB_WINE_ROOT:?the Wine root}
mkdir -p "$root"
mount_point=$(mktemp -d "$root/full-disk.XXXXXX")
if ! mount -t tmpfs -o size=64k ynbfull "$mount_point" 2>/dev/null; then
  rmdir "$mount_point"
  echo "full-disk: this host refuses to mount a tmpfs; skipped"
  exit 77
fi
link=""
cleanup() {
  [ -n "$link" ] && rm -f "$link"
  umount "$mount_point" && rmdir "$mount_point"
}
trap cleanup EXIT

# The prefix is made by the launcher's first run.
[ -d "$root/prefix/dosdevices" ] || "$wine_run" "$1" --help >/dev/null 2>&1 || true
for letter in t u v w; do
  if [ ! -e "$root/prefix/dosdevices/$letter:" ] && [ ! -L "$root/prefix/dosdevices/$letter:" ]; then
    link=$root/prefix/dosdevices/$letter:
    ln -s "$mount_point" "$link" && break
    link=""
  fi
done
[ -n "$link" ] || { echo "FAIL: no free drive letter in the prefix"; exit 1; }
export YNB_FULL_DRIVE=$(basename "$link" | tr a-z A-Z)
echo "full-disk: $YNB_FULL_DRIVE is a tmpfs of 64 KiB"
"$wine_run" "$@"
status=$?
left=$(find "$mount_point" -mindepth 1 | head -5)
[ -z "$left" ] || { echo "FAIL: the run left files on the full volume: $left"; status=1; }
exit $status
