# Sourced: real files of this machine and edge cases for the compression
# tests, in one folder: two MinGW-w64 libraries (a DLL, an archive of code),
# the first message catalogues over 20 KiB, random bytes, zeros past the
# largest window, an empty file and cuts around the 32 KiB frame.
#   real_corpus DIR CATALOGUES ZERO_BYTES
real_corpus() {
  local dir=$1 catalogues=$2 zeros=$3 mo size
  mkdir -p "$dir"
  cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll /usr/x86_64-w64-mingw32/lib/libmingwex.a "$dir/"
  find /usr/share/locale -name '*.mo' -size +20k | LC_ALL=C sort | sed -n "1,${catalogues}p" | while read -r mo; do
    cp "$mo" "$dir/$(echo "${mo#/usr/share/locale/}" | tr '/' '_')"
  done
  head -c 300000 /dev/urandom >"$dir/random.bin"
  head -c "$zeros" /dev/zero >"$dir/zeros.bin"
  : >"$dir/empty.txt"
  for size in 1 32767 32768 32769 131073; do
    head -c "$size" "$dir/libmingwex.a" >"$dir/part$size.bin"
  done
}
