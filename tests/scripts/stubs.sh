#!/usr/bin/env bash
# The prebuilt programs (stubs) of one architecture made into the demo
# product's distribution by ynbpack alone, against the distribution of the
# programs `make` compiles for it (ynbpack build --setup):
#   on the host: the product data reads back (ynbpack inspect); llvm-readobj
#     reads the version resource and the icons that ynbpack wrote;
#   under Wine: GetFileVersionInfoW and ExtractIconExW read the product's
#     name, version, maker, copyright and icons from setup.exe and from the
#     uninstall.exe inside the payload; both ways install the demo
#     identically (every file, shortcut and registry value byte for byte; the
#     two uninstallers hold the same product data and resources); a stub run
#     alone installs nothing and ends with 1603; a stub of another layout of
#     the product data is refused.
#   stubs.sh WINE_RUN YNBPACK PRODUCT WINBUILD ARCH PROBE
set -uo pipefail
wine_run=$1 ynbpack=$2 product=$3 build=$4 arch=$5 probe=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"

stubway=$work/stub compiled=$work/compiled
expect_status 0 "build from the stubs" "$ynbpack" build "$product" "$stubway" --arch "$arch" --tree "$build/payload"
expect_status 0 "build with the compiled programs" "$ynbpack" build "$product" "$compiled" --tree "$build/payload" \
  --uninstaller "$build/uninstall.exe" --setup "$build/setup.exe"
ls "$stubway" | tr '\n' ' ' | grep -qx 'data00.dat license.txt setup.exe setup.txt ' \
  || fail "the distribution from the stubs: $(ls "$stubway")"
# In the release's layout, ynbpack finds the stubs beside itself.
mkdir -p "$work/release/stubs/$arch"
cp "$ynbpack" "$work/release/"
cp -p "$build/stub/setup.exe" "$build/stub/uninstall.exe" "$work/release/stubs/$arch/"
expect_status 0 "build from a release's stubs" "$work/release/ynbpack" build "$product" "$work/release-out" --arch "$arch" \
  --tree "$build/payload"
cmp -s "$work/release-out/setup.exe" "$stubway/setup.exe" || fail "the release's stubs make another setup.exe"
single=$work/single
expect_status 0 "build a single file" "$ynbpack" build "$product" "$single" --arch "$arch" --tree "$build/payload" \
  --single-file
[ "$(ls "$single")" = setup.exe ] || fail "the single-file distribution: $(ls "$single")"
"$ynbpack" inspect "$single/setup.exe" >"$work/inspect-single"
grep -qx 'single-file=yes' "$work/inspect-single" || fail "single file: $(cat "$work/inspect-single")"
payload=$(sed -n 's/^payload=//p' "$work/inspect-single")
[ "${payload#*,}" = "$(stat -c %s "$stubway/data00.dat")" ] || fail "the embedded payload's size: $payload"
cmp -s -i "${payload%,*}:0" -n "${payload#*,}" "$single/setup.exe" "$stubway/data00.dat" \
  || fail "the embedded payload is not the four files' data00.dat"
# Beside it, what a single-file setup must not read.
printf 'not a payload' >"$single/data00.dat"
printf 'not the licence' >"$single/setup.txt"
# A copy whose embedded payload has one byte changed.
mkdir "$work/damaged"
cp "$single/setup.exe" "$work/damaged/setup.exe"
flip_byte "$work/damaged/setup.exe" $((${payload%,*} + ${payload#*,} / 2))
key=$(sed -n 's/^ *payload *= *\([0-9]*\).*/\1/p' "$product/keys.txt")
folder=$("$ynbpack" info "$product" | sed -n 's/^folder=//p')
for way in stub compiled; do
  "$ynbpack" unpayload --key "$key" "$work/$way/data00.dat" "$work/$way.cab" \
    && mkdir "$work/$way-files" && cabextract -q -d "$work/$way-files" "$work/$way.cab" >/dev/null 2>&1 \
    && cp "$work/$way-files/$folder/uninstall.exe" "$work/$way-uninstall.exe" || fail "$way: no uninstall.exe"
done

# The product data: the same in both ways' programs.
for program in setup uninstall; do
  stub=$stubway/setup.exe built=$compiled/setup.exe
  [ $program = setup ] || stub=$work/stub-uninstall.exe built=$work/compiled-uninstall.exe
  "$ynbpack" inspect "$stub" | grep -v '^signed=' >"$work/inspect-stub" || fail "inspect $program.exe"
  "$ynbpack" inspect "$built" | grep -v '^signed=' >"$work/inspect-built" || fail "inspect the compiled $program.exe"
  grep -qx 'product=yes' "$work/inspect-stub" || fail "$program.exe from the stub: $(cat "$work/inspect-stub")"
  cmp -s "$work/inspect-stub" "$work/inspect-built" \
    || fail "$program.exe: other product data: $(diff "$work/inspect-stub" "$work/inspect-built")"
  # The resources: the same data; only where they lie in the file differs.
  resources() { llvm-readobj --coff-resources "$1" | grep -Ev '^File:|RVA|Address|Offset'; }
  resources "$stub" >"$work/res-stub" && resources "$built" >"$work/res-built" \
    || fail "llvm-readobj cannot read $program.exe's resources"
  cmp -s "$work/res-stub" "$work/res-built" \
    || fail "$program.exe: other resources: $(diff "$work/res-stub" "$work/res-built" | head -20)"
  grep -q 'VERSIONINFO (ID 16)' "$work/res-stub" || fail "$program.exe: no version resource"
  grep -q 'GROUP_ICON (ID 14)' "$work/res-stub" || fail "$program.exe: no icon"
done

# A product's own pictures and icon go into the programs as its resources:
# made here, with pixels no project picture has.
art=$work/art-product
cp -r "$product" "$art"
mkdir -p "$art/art"
python3 - "$art/art" <<'PY'
import struct, sys
def dib(w, h, colour):
    row = bytes(colour) * w
    pixels = (row + bytes(-len(row) % 4)) * h
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels
def icon(sizes, colour):
    images = []
    for size in sizes:
        image = bytearray(dib(size, size, colour))
        struct.pack_into("<i", image, 8, 2 * size)  # an icon's bitmap counts its mask's rows too
        images.append(bytes(image) + bytes(((size + 31) // 32 * 4) * size))
    head = struct.pack("<HHH", 0, 1, len(images))
    at = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        head += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), at)
        at += len(image)
    return head + b"".join(images)
image1 = dib(125, 246, (1, 2, 3))
open(sys.argv[1] + "/image1.bmp", "wb").write(struct.pack("<2sIHHI", b"BM", 14 + len(image1), 0, 0, 54) + image1)
open(sys.argv[1] + "/image2.ico", "wb").write(icon([32], (4, 5, 6)))
open(sys.argv[1] + "/program.ico", "wb").write(icon([16, 32], (7, 8, 9)))
PY
expect_status 0 "build with the product's art" "$ynbpack" build "$art" "$work/art" --arch "$arch" --tree "$build/payload"
llvm-readobj --coff-resources "$work/art/setup.exe" >"$work/art-res" || fail "llvm-readobj of the product's art"
for pixels in '01020301 02030102' '04050604 05060405' '07080907 08090708'; do
  grep -q "$pixels" "$work/art-res" || fail "the product's picture with $pixels is not among the resources"
done
[ "$(grep -c 'Type: ICON (ID 3)' "$work/art-res")" -eq 1 ] && [ "$(grep -c 'DataSize: ' "$work/art-res")" -eq 8 ] \
  || fail "the resources of the product's art: $(grep -E 'Type|Name:|DataSize' "$work/art-res")"

# A stub of another layout of the product data is refused, naming both layouts.
mkdir "$work/old"
cp "$build/stub/uninstall.exe" "$work/old/"
python3 - "$build/stub/setup.exe" "$work/old/setup.exe" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
for at in range(pe + 24 + optional, pe + 24 + optional + 40 * count, 40):
    if data[at:at + 8] == b".product":
        data[struct.unpack_from("<I", data, at + 20)[0] + 16] += 1  # the layout after the marker
open(sys.argv[2], "wb").write(data)
PY
expect_status 2 "a stub of another layout" "$ynbpack" build "$product" "$work/d" --stubs "$work/old" --arch "$arch" \
  --tree "$build/payload"
grep -q 'product data layout 2; this ynbpack writes layout 1' "$work/err" || fail "layout: $(cat "$work/err")"
expect_status 2 "a compiled program as a stub" "$ynbpack" build "$product" "$work/d" --stubs "$build" --arch "$arch" \
  --tree "$build/payload"
grep -q 'holds a product already' "$work/err" || fail "compiled as stub: $(cat "$work/err")"

# Under Wine from here on.
status=0
"$wine_run" "$probe" "$stubway/setup.exe" "$work/stub-uninstall.exe" 2>"$work/probe-err" | tr -d '\r' >"$work/probe" \
  || status=${PIPESTATUS[0]}
if [ "$status" -eq 77 ]; then finish "stubs ($arch, on the host)"; fi
[ "$status" -eq 0 ] || fail "the probe: status $status $(cat "$work/probe-err")"
name=$("$ynbpack" config-dump "$product/setup.cfg" | sed -n 's/^ProductName=//p' | iconv -f CP932 -t UTF-8)
value() { sed -n "s/^$1=//p" "$product/product.txt"; }
for line in "ProductName=$name" "CompanyName=$(value publisher)" "LegalCopyright=$(value copyright)" \
  "FileVersion=1.0.0.0" "fixed=1.0.0.0 product=1.0.0.0" "OriginalFilename=setup.exe" "OriginalFilename=uninstall.exe"; do
  grep -qxF "$line" "$work/probe" || fail "Windows does not read $line: $(cat "$work/probe")"
done
[ "$(grep -c '^icons=[1-9][0-9]* first=yes$' "$work/probe")" -eq 2 ] || fail "icons: $(grep icons "$work/probe")"

# Both ways install the same; each is uninstalled after.
root=${YNB_WINE_ROOT:?}
drive=$root/prefix/drive_c
# snapshot OUT: the SHA-256 of every file of the install folder but the
# uninstaller, of the desktop, the documents and the Start menu, and the
# uninstall entry. A shortcut counts by what lnkinfo reads of it but the
# times, which record when the folders on the way to its target were made.
snapshot() {
  (cd "$drive" && find StubWays "../../home/Desktop" "../../home/Documents" \
    users/*"/AppData/Roaming/Microsoft/Windows/Start Menu/Programs" -type f ! -name uninstall.exe -print0 \
    2>/dev/null | sort -z | python3 -c '
import hashlib, subprocess, sys
for name in sys.stdin.buffer.read().split(b"\0")[:-1]:
    data = open(name, "rb").read()
    if name.endswith(b".lnk"):
        info = subprocess.run(["lnkinfo", name], capture_output=True, check=True).stdout.splitlines()
        data = b"\n".join(line for line in info[1:] if b" time" not in line)
    sys.stdout.buffer.write(hashlib.sha256(data).hexdigest().encode() + b"  " + name + b"\n")
') >"$1"
  "$wine_run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\'"$folder" /s 2>/dev/null \
    | tr -d '\r' >>"$1"
}
for way in compiled stub single; do
  "$wine_run" "$work/$way/setup.exe" /S '/D=C:\StubWays' || fail "$way: setup status $?"
  snapshot "$work/installed-$way"
  [ "$way" = stub ] && { cmp -s "$drive/StubWays/$folder/uninstall.exe" "$work/stub-uninstall.exe" \
    || fail "the installed uninstaller is not the payload's"; }
  # A repair from the single file finds its payload in itself.
  [ "$way" != single ] || "$wine_run" "$work/$way/setup.exe" /S /REPAIR || fail "single: repair status $?"
  "$wine_run" "C:\\StubWays\\$folder\\uninstall.exe" /S || fail "$way: uninstall status $?"
done
grep -q "StubWays/$folder/" "$work/installed-compiled" || fail "nothing installed: $(head "$work/installed-compiled")"
for way in stub single; do
  cmp -s "$work/installed-compiled" "$work/installed-$way" \
    || fail "$way installs otherwise: $(diff "$work/installed-compiled" "$work/installed-$way" | head -20)"
done
rm -rf "$drive/StubWays"

# A single file with its payload damaged installs nothing, as a damaged data00.dat.
status=0
"$wine_run" "$work/damaged/setup.exe" /S '/D=C:\StubWays' || status=$?
[ "$status" -eq $((1603 & 255)) ] || fail "a damaged single file: status $status"
[ ! -e "$drive/StubWays/$folder" ] || fail "a damaged single file installed"

# A stub alone holds no product: it installs nothing.
status=0
"$wine_run" "$build/stub/setup.exe" /S '/D=C:\StubAlone' || status=$?
# Wine hands on the low byte of the exit code.
[ "$status" -eq $((1603 & 255)) ] || fail "a stub run alone: status $status"
[ ! -e "$drive/StubAlone" ] || fail "a stub run alone wrote its folder"

finish "stubs ($arch)"
