#!/usr/bin/env bash
# The installation benchmark of `make bench`: the benchmark product (about
# 200 MiB in about 2,000 files, generated here) installed by its setup.exe
# (64-bit, stamped with its payload's digest, so that it checks it), driven
# through the wizard, against an NSIS installer of the same files run
# silently and against a bare extraction of the same cabinet on one thread,
# in a Wine root of its own; and the setup's peak memory for a payload twice
# as large.
#   install-bench.sh BUILD_DIR [ROUNDS]
# The generated data stays in BUILD_DIR/bench-install and is made again only
# when its sources change; the installations are removed afterwards.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
project=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: install-bench.sh BUILD_DIR [ROUNDS]}" && pwd)
rounds=${2:-3}

fail() { echo "install bench: $*" >&2; exit 1; }
command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis: run make deps)"
[ -x /usr/lib/wine/wine64 ] || fail "Wine (64-bit) is missing (Debian package wine64: run make deps)"

tree_tool=$build/host/bench/ynbbench_tree
ynbpack=$build/host/tools/ynbpack/ynbpack
setup=$build/win-x64/bench/setup_bench.exe
driver=$build/win-x64/bench/ynbbench_install.exe
bare=$build/win-x64/bench/ynbbench_bare.exe
for f in "$tree_tool" "$ynbpack" "$setup" "$driver" "$bare"; do
  [ -x "$f" ] || fail "$f is not built (make bench builds it)"
done

work=$build/bench-install
payload=$work/payload
dist=$work/dist
stamp=$work/ready
sources=("$tree_tool" "$ynbpack" "$setup" "$here/InstallBench.nsi" "$here"/product/*)
fresh=1
[ -f "$stamp" ] || fresh=0
for f in "${sources[@]}"; do [ "$fresh" -eq 1 ] && [ "$f" -nt "$stamp" ] && fresh=0; done
if [ "$fresh" -eq 0 ]; then
  rm -rf "$work"
  mkdir -p "$work/tmp"
  "$tree_tool" "$payload"
  "$tree_tool" "$work/payload2" 2 >/dev/null
  echo "install bench: data00.dat (MSZIP cabinet), stamped setup.exe and the NSIS installer (zlib)"
  TMPDIR=$work/tmp "$ynbpack" build "$here/product" "$dist" --tree "$payload" --setup "$setup"
  TMPDIR=$work/tmp "$ynbpack" build "$here/product" "$work/dist2" --tree "$work/payload2" --setup "$setup"
  key=$(sed -n 's/^ *payload *= *\([0-9]*\).*/\1/p' "$here/product/keys.txt")
  "$ynbpack" unpayload --key "$key" "$dist/data00.dat" "$work/plain.cab"
  makensis -V2 -DSOURCE="$payload" -DOUTFILE="$dist/nsis-setup.exe" "$here/InstallBench.nsi"
  rmdir "$work/tmp"
  touch "$stamp"
fi
ls -l "$dist/data00.dat" "$dist/nsis-setup.exe" | awk '{print "install bench:", $NF, $5, "bytes"}'

root=$build/wine-bench
status=0
folders=$("$ynbpack" list "$work/plain.cab" | grep -c '^folder')
workers=$(( $(nproc) < folders ? $(nproc) : folders )); workers=$(( workers < 8 ? workers : 8 ))
YNB_WINE_ROOT=$root "$project/scripts/wine-run.sh" "$driver" "$dist/setup.exe" "$dist" "$dist/nsis-setup.exe" \
  "$payload" "$here/product/manifest.txt" "$rounds" "$bare" "$work/plain.cab" "$workers ($folders cabinet folders)" \
  "$work/dist2" "$work/payload2" || status=$?

# The driver removes its installations; whatever a failed run left goes here.
rm -rf "$root"/prefix/drive_c/ynbbench-*
# This root's Wine server and display.
WINEPREFIX=$root/prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
if [ -f "$root/xvfb.pid" ]; then
  kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true
  rm -f "$root/xvfb.pid" "$root/xvfb.display"
fi
[ "$status" -eq 0 ] || fail "the benchmark failed (status $status)"
