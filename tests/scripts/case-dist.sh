#!/usr/bin/env bash
# A distribution of a test product with a manifest that `ynbpack build` would
# refuse (an empty one, or lines that setup.exe itself must refuse):
#   case-dist.sh YNBPACK PRODUCT OUTDIR MANIFEST STAGING [--without RELPATH]...
# The product's payload less the paths named, MANIFEST scrambled as it stands
# with the product's manifest key into STAGING/ynb_inst.com (STAGING relative
# to the payload, e.g. Cases/ins), the cabinet scrambled into data00.dat, and
# the two documents beside it.
set -euo pipefail
ynbpack=$1 product=$2 out=$3 manifest=$4 staging=$5
shift 5

. "$(dirname "${BASH_SOURCE[0]}")/product-keys.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$product/payload" "$scratch/tree"
while [ $# -gt 0 ]; do
  [ "$1" = --without ] && [ $# -ge 2 ] || { echo "case-dist: unknown argument $1" >&2; exit 2; }
  rm -rf "${scratch:?}/tree/$2"
  shift 2
done
mkdir -p "$scratch/tree/$staging"
"$ynbpack" scramble --key "$(product_key manifest "$product/keys.txt")" "$manifest" "$scratch/tree/$staging/ynb_inst.com"
"$ynbpack" cab "$scratch/tree" "$scratch/payload.cab"
mkdir -p "$out"
"$ynbpack" payload --key "$(product_key payload "$product/keys.txt")" "$scratch/payload.cab" "$out/data00.dat"
cp "$product/setup.txt" "$product/license.txt" "$out/"
