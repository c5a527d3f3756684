#!/usr/bin/env bash
# The distribution of one architecture, for `make dist`:
#   dist.sh YNBPACK PRODUCT WINBUILD ARCH DISTDIR
# writes DISTDIR/ARCH: setup.exe (WINBUILD/setup.exe stamped with the digest of
# data00.dat), data00.dat (which carries WINBUILD/uninstall.exe), setup.txt and
# license.txt, with the product's built programs (WINBUILD/payload) when its
# folder builds any; then DISTDIR/ID-VERSION-ARCH.zip of that folder's files
# (id and version from product.txt; without them the product's top folder
# names the zip: FOLDER-ARCH.zip).
#
# Signing, when SIGN_CERT and SIGN_KEY are set: the code-signing certificate
# (PEM or DER, with the chain up to the root after it) and its private key;
# SIGN_PASS, the key's password; SIGN_TIMESTAMP, an RFC 3161 time-stamp
# server's URL. uninstall.exe is signed before it goes into the payload,
# setup.exe after it is stamped (a stamp would break a signature).
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: dist.sh YNBPACK PRODUCT WINBUILD ARCH DISTDIR" >&2; exit 2; }
ynbpack=$1 product=$2 build=$3 arch=$4 dist=$5
die() { echo "dist: $*" >&2; exit 2; }

signing=false
if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}" ]; then
  [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ] || die "SIGN_CERT and SIGN_KEY are needed together"
  [ -f "$SIGN_CERT" ] || die "SIGN_CERT: no file $SIGN_CERT"
  [ -f "$SIGN_KEY" ] || die "SIGN_KEY: no file $SIGN_KEY"
  signing=true
fi

info=$("$ynbpack" info "$product")
value() { sed -n "s/^$1=//p" <<<"$info"; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# sign IN OUT: Authenticode (SHA-256) with the product's name and page.
sign() {
  local args=(sign -certs "$SIGN_CERT" -key "$SIGN_KEY" -h sha256 -n "$(value name)")
  [ -z "$(value url)" ] || args+=(-i "$(value url)")
  [ -z "${SIGN_TIMESTAMP:-}" ] || args+=(-ts "$SIGN_TIMESTAMP")
  # The password through a pipe, so that no process list shows it.
  if [ -n "${SIGN_PASS:-}" ]; then
    osslsigncode "${args[@]}" -readpass <(printf '%s' "$SIGN_PASS") -in "$1" -out "$2" >"$scratch/sign.log" 2>&1
  else
    osslsigncode "${args[@]}" -in "$1" -out "$2" >"$scratch/sign.log" 2>&1
  fi || { cat "$scratch/sign.log" >&2; die "signing $(basename "$1") failed"; }
}

out=$dist/$arch
rm -rf "${out:?}"
mkdir -p "$out"

uninstaller=$build/uninstall.exe
if $signing; then
  sign "$uninstaller" "$scratch/uninstall.exe"
  uninstaller=$scratch/uninstall.exe
fi
built=()
[ ! -f "$product/program/CMakeLists.txt" ] || built=(--tree "$build/payload")
"$ynbpack" build "$product" "$out" --uninstaller "$uninstaller" "${built[@]}" --setup "$build/setup.exe"
if $signing; then
  sign "$out/setup.exe" "$scratch/setup.exe"
  mv "$scratch/setup.exe" "$out/setup.exe"
fi

id=$(value id) version=$(value version)
if [ -n "$id" ] && [ -n "$version" ]; then base=$id-$version; else base=$(value folder); fi
zip=$(cd "$dist" && pwd)/$base-$arch.zip
rm -f "$zip"
(cd "$out" && zip -q -X -D -r "$zip" .)
echo "dist: $out $zip"
