#!/usr/bin/env bash
# The build benchmark of `make bench`: the time from a product folder to its
# stamped setup.exe, and the size of what it makes, each against makensis with
# solid LZMA on the same files (the reference beside it, in the same run):
#   the benchmark product (bench/real-product.sh, its files of the
#   installation benchmark): ynbpack alone, from the prebuilt programs (LZX);
#   `make PRODUCT=…` in a fresh build tree (the compiled programs, then
#   ynbpack build --setup); the same again after a change of the product
#   (what a maker's second build costs);
#   a product of COUNT small text files made from a fixed seed
#   (bench/text-product.py): ynbpack alone (LZX) against makensis.
#   build-bench.sh BUILD_DIR [COUNT]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
project=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: build-bench.sh BUILD_DIR [COUNT]}" && pwd)
count=${2:-10000}
fail() { echo "build bench: $*" >&2; exit 1; }
command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis: run make deps)"
ynbpack=$build/host/tools/ynbpack/ynbpack
stubs=$build/win-x64/stub
[ -x "$ynbpack" ] && [ -f "$stubs/setup.exe" ] || fail "ynbpack and the x64 stubs are not built (make bench builds them)"

work=$build/bench-build
rm -rf "$work"
mkdir -p "$work"
payload=$build/bench-install/payload
if [ ! -d "$payload" ]; then
  payload=$work/payload
  bash "$here/real-product.sh" "$payload" "$work/floor.lst" >/dev/null
fi

# seconds COMMAND...: runs it with its output in the log, prints the seconds it took.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >>"$work/log" 2>&1 || fail "failed: $* (see $work/log)"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }'
}
size() { stat -c %s "$@" | awk '{ total += $1 } END { print total }'; }
report() { # LABEL SECONDS BYTES REFERENCE_SECONDS REFERENCE_BYTES
  awk -v l="$1" -v t="$2" -v b="$3" -v rt="$4" -v rb="$5" 'BEGIN {
    printf "build bench: %-44s %7.1f s  %11d bytes   time x%.2f  size x%.2f of makensis (solid LZMA)\n",
      l, t, b, t / rt, b / rb }'
}

# The benchmark product, from a copy of its folder (changed below).
product=$work/product
cp -r "$here/product" "$product"
nsis=$(seconds makensis -V2 -DSOLID_LZMA -DSOURCE="$payload" -DOUTFILE="$work/nsis.exe" "$here/InstallBench.nsi")
nsisBytes=$(size "$work/nsis.exe")
echo "build bench: the benchmark product, $(find "$payload" -type f | wc -l) files, $(du -sb "$payload" | cut -f1) bytes"
report "makensis, solid LZMA (the reference)" "$nsis" "$nsisBytes" "$nsis" "$nsisBytes"
alone=$(seconds "$ynbpack" build "$product" "$work/alone" --tree "$payload" --arch x64 --stubs "$stubs")
report "ynbpack alone (stubs, LZX)" "$alone" "$(size "$work/alone"/*)" "$nsis" "$nsisBytes"
compiled() {
  (cd "$project" && cmake --preset win-x64 -B "$work/tree" -DPRODUCT_DIR="$product" -DYNBPACK="$ynbpack") \
    && cmake --build "$work/tree" -j "$(nproc)" --target setup uninstall \
    && "$ynbpack" build "$product" "$work/compiled" --tree "$payload" --uninstaller "$work/tree/uninstall.exe" \
      --setup "$work/tree/setup.exe"
}
fresh=$(seconds compiled)
report "make PRODUCT=… in a fresh tree (LZX)" "$fresh" "$(size "$work/compiled"/*)" "$nsis" "$nsisBytes"
touch "$product/setup.cfg"
again=$(seconds compiled)
report "make PRODUCT=… after a product change" "$again" "$(size "$work/compiled"/*)" "$nsis" "$nsisBytes"

# Many small text files.
text=$work/text
mkdir -p "$text"
cp "$product/"{setup.cfg,keys.txt,setup.txt,license.txt} "$text/"
printf 'data\\\t..\r\nynb\\\t..\r\n' >"$text/manifest.txt"
python3 "$here/text-product.py" "$text/payload" "$count" 1
mkdir -p "$text/payload/YnbBench/ins/ynb"
printf '1\r\n' >"$text/payload/YnbBench/ins/ynb/version.txt"
echo "build bench: $count text files (seed 1), $(du -sb "$text/payload" | cut -f1) bytes"
nsis=$(seconds makensis -V2 -DSOURCE="$text/payload" -DOUTFILE="$work/text-nsis.exe" "$here/TreeBench.nsi")
nsisBytes=$(size "$work/text-nsis.exe")
report "makensis, solid LZMA (the reference)" "$nsis" "$nsisBytes" "$nsis" "$nsisBytes"
alone=$(seconds "$ynbpack" build "$text" "$work/text-alone" --arch x64 --stubs "$stubs")
report "ynbpack alone (stubs, LZX)" "$alone" "$(size "$work/text-alone"/*)" "$nsis" "$nsisBytes"
rm -rf "$work/tree" "$text/payload"
