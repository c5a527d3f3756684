#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

# The 32-bit Wine loader runs the 32-bit tests where the kernel runs 32-bit
# programs; without it those tests are skipped, so a failure to install it
# (its i386 libraries) does not stop the build.
optional=(wine32:i386)

packages=(
  cmake make ninja-build pkg-config git
  g++ clang libclang-rt-14-dev llvm
  libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64
  xvfb xauth x11-utils locales fonts-ipafont-gothic
  gcab cabextract libmspack-dev liblnk-utils zlib1g-dev
  imagemagick nsis file
  osslsigncode openssl zip python3-jsonschema python3-yaml
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}" "${optional[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync fails an index now and then: try again,
  # and go on with the indexes there are when it keeps failing (the install
  # below fails clearly if a package is really missing).
  for attempt in 1 2 3; do
    if "${sudo_cmd[@]}" apt-get update -qq; then break; fi
    echo "deps: package index update failed (attempt $attempt)"
    sleep $((attempt * 5))
  done
  install() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@"
  }
  if ! install "${missing[@]}"; then
    required=()
    for p in "${packages[@]}"; do installed "$p" || required+=("$p"); done
    [ "${#required[@]}" -eq 0 ] || install "${required[@]}"
    echo "deps: ${optional[*]} could not be installed; the 32-bit programs' tests will be skipped"
  fi
fi

# Code page 932 under Wine needs the ja_JP.UTF-8 locale generated.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "deps: generating ja_JP.UTF-8"
  "${sudo_cmd[@]}" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
echo "deps: ready"
