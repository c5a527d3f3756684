#!/usr/bin/env bash
# The payload of the placement fixture, data00.dat alone:
#   placement-dist.sh YNBPACK FIXTURE KEYS OUT.dat [--manifest FILE]
#                     [--readonly RELPATH]...
# FIXTURE/payload as the tree, the manifest FILE (FIXTURE/manifest.txt unless
# given) scrambled as it stands (`ynbpack build` would refuse its missing and
# outside sources, which are the point) with the manifest key of KEYS into
# Hanamaru/ins/ynb_inst.com, each RELPATH made read-only so that the cabinet
# marks it so, the cabinet scrambled with the payload key of KEYS.
set -euo pipefail
ynbpack=$1 fixture=$2 keys=$3 out=$4
shift 4
manifest=$fixture/manifest.txt

. "$(dirname "${BASH_SOURCE[0]}")/product-keys.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$fixture/payload" "$scratch/tree"
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || { echo "placement-dist: $1 without its value" >&2; exit 2; }
  case $1 in
    --manifest) manifest=$2 ;;
    --readonly) chmod a-w "$scratch/tree/$2" ;;
    *) echo "placement-dist: unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
"$ynbpack" scramble --key "$(product_key manifest "$keys")" "$manifest" "$scratch/tree/Hanamaru/ins/ynb_inst.com"
"$ynbpack" cab "$scratch/tree" "$scratch/payload.cab"
mkdir -p "$(dirname "$out")"
"$ynbpack" payload --key "$(product_key payload "$keys")" "$scratch/payload.cab" "$out"
