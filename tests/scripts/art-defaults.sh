#!/usr/bin/env bash
# The pictures of the programs: setup.exe and uninstall.exe carry each of the
# product's art folder, or the project's own (src/app/art) where it has none
# (the demo has no art folder); and a product folder that has one picture gets
# that one and the project's others, as the resource compiler takes each from
# the first folder of the include path that holds it (the build puts the
# product's first).
#   art-defaults.sh WINDRES SOURCE_DIR PRODUCT SETUP_EXE UNINSTALL_EXE
set -uo pipefail
windres=$1 src=$2 product=$3 setup=$4 uninstall=$5
art=$src/src/app/art
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"

# holds FILE PICTURE: FILE carries the picture's pixels (a bitmap without its
# file header, an icon's first image).
holds() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import struct, sys
data, picture = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
if picture[:2] == b"BM":
    pixels = picture[14:]
else:
    size, offset = struct.unpack_from("<II", picture, 6 + 8)
    pixels = picture[offset:offset + size]
sys.exit(0 if pixels in data else 1)
EOF
}

expected() { if [ -f "$product/art/$1" ]; then echo "$product/art/$1"; else echo "$art/$1"; fi; }
for picture in image1.bmp image2.ico program.ico; do
  holds "$setup" "$(expected $picture)" || fail "setup.exe lacks $(expected $picture)"
done
holds "$uninstall" "$(expected program.ico)" || fail "uninstall.exe lacks $(expected program.ico)"

# A product whose art folder has its own program icon only: the project's
# icon with one pixel changed.
mkdir -p "$work/product/art"
cp "$art/program.ico" "$work/product/art/program.ico"
offset=$(od -An -tu4 -j 18 -N 4 "$art/program.ico" | tr -d ' ')
printf '\001' | dd of="$work/product/art/program.ico" bs=1 seek=$((offset + 100)) conv=notrunc status=none
"$windres" -I "$work/product/art" -I "$art" -I "$src/src/app" -O coff "$src/src/app/Setup.rc" "$work/setup.res" \
  || fail "windres"
holds "$work/setup.res" "$work/product/art/program.ico" || fail "the product's own program.ico was not taken"
holds "$work/setup.res" "$art/program.ico" && fail "the project's program.ico was taken over the product's"
for picture in image1.bmp image2.ico; do
  holds "$work/setup.res" "$art/$picture" || fail "the project's $picture was not taken"
done

finish "artwork defaults"
