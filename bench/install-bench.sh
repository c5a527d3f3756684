#!/usr/bin/env bash
# The installation benchmark of `make bench`: the benchmark product, made of
# real files (bench/real-product.sh), installed silently by its setup.exe
# (64-bit, stamped with its payload's digest, so that it checks it) from an
# MSZIP and from an LZX payload, by NSIS
# installers of the same files (zlib, and solid LZMA), and written by the
# floor program, in a Wine root of its own; the wizard's time from Start to
# its completion page, and the setup's peak memory for the product with its
# program tree twice. Then upgrades and repairs over the first version: later
# versions made from a fixed seed (bench/variant-product.py: the product's own
# programs changed, a tenth of the files, every file), the same version over
# an intact installation and over one that lost a tenth of its files.
#   install-bench.sh BUILD_DIR [ROUNDS] [--small]
# --small: a product of about 2 MiB, without the NSIS installers and the
# memory measurement (the tests run it once, so that the benchmark cannot
# stop working unseen).
# The products stay in BUILD_DIR/bench-install (bench-small) and are made
# again only when their sources change; the installations are removed
# afterwards.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
project=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: install-bench.sh BUILD_DIR [ROUNDS] [--small]}" && pwd)
rounds=${2:-3}
small=0
[ "${3:-}" != --small ] || small=1

fail() { echo "install bench: $*" >&2; exit 1; }
[ "$small" -eq 1 ] || command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis: run make deps)"
[ -x /usr/lib/wine/wine64 ] || fail "Wine (64-bit) is missing (Debian package wine64: run make deps)"

ynbpack=$build/host/tools/ynbpack/ynbpack
setup=$build/win-x64/bench/setup_bench.exe
driver=$build/win-x64/bench/ynbbench_install.exe
floor=$build/win-x64/bench/ynbbench_floor.exe
for f in "$ynbpack" "$setup" "$driver" "$floor"; do
  [ -x "$f" ] || fail "$f is not built (make bench builds it)"
done

stubs=$build/win-x64/stub
[ -f "$stubs/setup.exe" ] || fail "the x64 stubs are not built (make bench builds them)"
work=$build/bench-install
cap=
if [ "$small" -eq 1 ]; then
  work=$build/bench-small
  cap=$((2 << 20))
fi
stamp=$work/ready
sources=("$ynbpack" "$setup" "$stubs/setup.exe" "$here/InstallBench.nsi" "$here/real-product.sh"
  "$here/variant-product.py" "$here"/product/*)
fresh=1
[ -f "$stamp" ] || fresh=0
for f in "${sources[@]}"; do [ "$fresh" -eq 1 ] && [ "$f" -nt "$stamp" ] && fresh=0; done
if [ "$fresh" -eq 0 ]; then
  rm -rf "$work"
  mkdir -p "$work/tmp"
  bash "$here/real-product.sh" "$work/payload" "$work/floor.lst" 1 $cap >"$work/recipe"
  if [ "$small" -eq 0 ]; then
    bash "$here/real-product.sh" "$work/payload2" "$work/floor2.lst" 2 >/dev/null
    # The product with its program tree twice has one entry more.
    cp -r "$here/product" "$work/product2"
    printf 'program2\\\t..\r\n' >>"$work/product2/manifest.txt"
  fi
  echo "install bench: data00.dat, the stamped setup.exe, the NSIS installers (zlib, solid LZMA)"
  # How long each build of the installer takes, in the same run.
  timed() {
    local label=$1 start end
    shift
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" -v l="$label" 'BEGIN { printf "install bench: %s took %.1f s\n", l, b - a }'
  }
  timed "ynbpack build (MSZIP)" env TMPDIR="$work/tmp" "$ynbpack" build "$here/product" "$work/dist" \
    --tree "$work/payload" --setup "$setup" --compression mszip
  timed "ynbpack build (LZX)" env TMPDIR="$work/tmp" "$ynbpack" build "$here/product" "$work/dist-lzx" \
    --tree "$work/payload" --setup "$setup" --compression lzx
  if [ "$small" -eq 0 ]; then
    timed "makensis with zlib" makensis -V2 -DSOURCE="$work/payload" -DOUTFILE="$work/nsis-zlib.exe" \
      "$here/InstallBench.nsi"
    timed "makensis with solid LZMA" makensis -V2 -DSOLID_LZMA -DSOURCE="$work/payload" \
      -DOUTFILE="$work/nsis-lzma.exe" "$here/InstallBench.nsi"
    TMPDIR=$work/tmp "$ynbpack" build "$work/product2" "$work/dist2" --tree "$work/payload2" --setup "$setup" \
      >/dev/null
  fi
  # Version 2 of the product, in three variants of its files, from the
  # prebuilt programs (the version is the product's own).
  cp -r "$here/product" "$work/product-v2"
  sed 's/^version=.*/version=2.0\r/' "$here/product/product.txt" >"$work/product-v2/product.txt"
  for kind in programs tenth all; do
    python3 "$here/variant-product.py" "$work/payload" "$work/payload-$kind" "$kind" >>"$work/recipe"
    TMPDIR=$work/tmp "$ynbpack" build "$work/product-v2" "$work/dist-$kind" --tree "$work/payload-$kind" \
      --compression mszip --arch x64 --stubs "$stubs" >/dev/null 2>&1 || fail "the $kind variant was not built"
    rm -rf "$work/payload-$kind"
  done
  key=$(sed -n 's/^ *payload *= *\([0-9]*\).*/\1/p' "$here/product/keys.txt")
  "$ynbpack" unpayload --key "$key" "$work/dist/data00.dat" "$work/tmp/plain.cab"
  "$ynbpack" list "$work/tmp/plain.cab" | grep -c '^folder' >"$work/folders"
  rm -r "$work/tmp"
  touch "$stamp"
fi

root=$build/wine-bench
status=0
cat "$work/recipe"
folders=$(cat "$work/folders")
workers=$(( $(nproc) < folders ? $(nproc) : folders )); workers=$(( workers < 8 ? workers : 8 ))
nsis=("$work/nsis-zlib.exe" "$work/nsis-lzma.exe")
double=("$work/dist2" "$work/payload2")
if [ "$small" -eq 1 ]; then nsis=(- -); double=(- -); root=$build/wine-bench-small; fi
YNB_WINE_ROOT=$root "$project/scripts/wine-run.sh" "$driver" "$work/dist" "$work/dist-lzx" "${nsis[@]}" \
  "$floor" "$work/floor.lst" "$work/payload" "$here/product/manifest.txt" "$rounds" \
  "$workers ($folders cabinet folders)" "${double[@]}" "$work/dist-programs" "$work/dist-tenth" "$work/dist-all" \
  || status=$?

# The driver removes its installations; whatever a failed run left goes here.
rm -rf "$root"/prefix/drive_c/ynbbench-*
# This root's Wine server and display.
WINEPREFIX=$root/prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
if [ -f "$root/xvfb.pid" ]; then
  kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true
  rm -f "$root/xvfb.pid" "$root/xvfb.display"
fi
[ "$status" -eq 0 ] || fail "the benchmark failed (status $status)"
