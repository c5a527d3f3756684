#!/usr/bin/env bash
# The installation benchmark's payload tree, made of real files that `make
# deps` installs on every machine, chosen by a fixed recipe so that every
# machine measures the same thing: the regular files of three Debian packages,
# in this order and each in byte order of its path, taken while the total stays
# within 200 MiB:
#   mingw-w64-x86-64-dev  /usr/x86_64-w64-mingw32/lib/...     -> program\lib   (import libraries)
#   mingw-w64-common      /usr/share/mingw-w64/include/...    -> program\include (headers)
#   libwine (amd64)       /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/... -> program\bin (Windows DLLs and programs)
# A name that differs from an earlier one only in case is left out (one file
# on Windows). Laid out as a product must be: everything in the staging folder
# YnbBench\ins, placed by bench/product/manifest.txt: the program tree to the
# install folder, the packages' copyright texts as a folder to the documents,
# one of them as a file to the desktop, and the log's folder ynb.
# With COPIES 2 the program tree comes twice (program2), for the memory
# measurement. LIST receives what the floor program writes: one line per file, "source<TAB>place<TAB>path" with the place T
# (the base folder), D (the desktop) or M (the documents).
# CAP (bytes, 200 MiB when left out) bounds the files taken (a small product
# for the benchmark's run in the tests).
#   real-product.sh OUTDIR LIST [COPIES [CAP]]
set -euo pipefail

out=${1:?usage: real-product.sh OUTDIR LIST [COPIES [CAP]]}
list=${2:?usage: real-product.sh OUTDIR LIST [COPIES [CAP]]}
copies=${3:-1}
cap=${4:-$((200 << 20))}
packages=(mingw-w64-x86-64-dev mingw-w64-common libwine:amd64)
roots=(/usr/x86_64-w64-mingw32/lib/ /usr/share/mingw-w64/include/ /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/)
places=(lib include bin)

for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
    || { echo "real-product: $p is not installed (make deps)" >&2; exit 1; }
done

rm -rf "$out"
ins=$out/YnbBench/ins
mkdir -p "$ins/program" "$ins/samples" "$ins/ynb"
total=0
declare -A seen
full=0
for i in 0 1 2; do
  while IFS= read -r file; do
    [ "$full" -eq 0 ] || break
    [ -f "$file" ] && [ ! -L "$file" ] || continue
    relative=${places[$i]}/${file#"${roots[$i]}"}
    folded=${relative,,}
    [ -z "${seen[$folded]:-}" ] || continue
    size=$(stat -c %s "$file")
    if [ $((total + size)) -gt "$cap" ]; then full=1; break; fi
    seen[$folded]=1
    total=$((total + size))
    mkdir -p "$ins/program/$(dirname "$relative")"
    cp -p "$file" "$ins/program/$relative"
  done < <(dpkg -L "${packages[$i]}" | grep -F "${roots[$i]}" | LC_ALL=C sort)
done
for p in "${packages[@]}"; do
  name=${p%%:*}
  cp -p "/usr/share/doc/$name/copyright" "$ins/samples/$name-copyright.txt"
done
cp -p "$ins/samples/mingw-w64-common-copyright.txt" "$ins/readme.txt"
printf 'YnbBench 1.0.0\r\n' >"$ins/ynb/version.txt"
for ((c = 2; c <= copies; c++)); do cp -a "$ins/program" "$ins/program$c"; done

# What the manifest places, file by file, for the floor program.
(
  cd "$out"
  find YnbBench/ins -type f | LC_ALL=C sort | while IFS= read -r file; do
    rest=${file#YnbBench/ins/}
    case $rest in
      readme.txt) printf '%s\tD\t%s\n' "$file" readme.txt ;;
      samples/*) printf '%s\tM\t%s\n' "$file" "${rest//\//\\}" ;;
      *) printf '%s\tT\t%s\n' "$file" "YnbBench\\${rest//\//\\}" ;;
    esac
  done
) >"$list"

versions=$(dpkg-query -W -f='${Package} ${Version}, ' "${packages[@]}")
echo "real-product: $(find "$ins" -type f | wc -l) files, $(du -sb --apparent-size "$ins" | cut -f1) bytes, from ${versions%, }"
