#!/usr/bin/env bash
# The release of ynbpack, for `make release`: one archive a host, each with
# ynbpack, the prebuilt programs of both architectures, the demo product
# (with its program built, so that ynbpack alone makes its setup.exe) and the
# guide:
#   DISTDIR/ynbpack-VERSION-linux-x64.tar.gz   ynbpack (static, x64)
#   DISTDIR/ynbpack-VERSION-windows.zip         ynbpack.exe (static, x64)
#   release.sh BUILD DISTDIR VERSION
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: release.sh BUILD DISTDIR VERSION" >&2; exit 2; }
build=$1 dist=$2 version=$3
project=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
die() { echo "release: $*" >&2; exit 2; }

for f in "$build/host/tools/ynbpack/ynbpack" "$build/win-x64/tools/ynbpack/ynbpack.exe" \
  "$build"/win-{x86,x64}/stub/{setup,uninstall}.exe "$build/win-x86/payload"; do
  [ -e "$f" ] || die "$f is not built (make builds it)"
done

out=$dist/release
rm -rf "$out"
mkdir -p "$out"
# layout FOLDER TOOL: the contents of one archive.
layout() {
  local folder=$1 tool=$2
  mkdir -p "$folder/stubs"
  cp "$tool" "$folder/"
  for arch in x86 x64; do
    mkdir -p "$folder/stubs/$arch"
    cp -p "$build/win-$arch/stub/setup.exe" "$build/win-$arch/stub/uninstall.exe" "$folder/stubs/$arch/"
  done
  # The demo with its program built (32-bit, which both architectures run);
  # its sources stay behind, since ynbpack builds no program.
  cp -r "$project/product/demo" "$folder/demo"
  rm -rf "$folder/demo/program"
  cp -r "$build/win-x86/payload/." "$folder/demo/payload/"
  cp "$project/docs/MAKING-A-PRODUCT.md" "$folder/"
}
linux=ynbpack-$version-linux-x64
windows=ynbpack-$version-windows
layout "$out/$linux" "$build/host/tools/ynbpack/ynbpack"
strip "$out/$linux/ynbpack"
layout "$out/$windows" "$build/win-x64/tools/ynbpack/ynbpack.exe"
(cd "$out" && tar --owner=0 --group=0 -czf "$linux.tar.gz" "$linux" && zip -q -X -r "$windows.zip" "$windows")
echo "release: $out/$linux.tar.gz $out/$windows.zip"
