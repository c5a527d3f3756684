#!/usr/bin/env bash
# The distribution of `make dist` (scripts/dist.sh) signed with a throw-away CA:
# setup.exe and the uninstall.exe inside data00.dat verify against that CA and
# no other, the zip holds the signed setup.exe at its top; unsigned without a
# certificate; a wrong password or a certificate without its key stops it.
# Then ynbpack build --sign on the prebuilt programs, four files and one: both
# programs verify, a single file's payload is covered by its signature, and a
# command that fails, signs nothing or changes more than its signature stops
# the build.
#   dist-signing.sh YNBPACK PRODUCT WINBUILD SOURCE_DIR
set -uo pipefail
ynbpack=$1 product=$2 build=$3 src=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/check-lib.sh"

# ca NAME: a self-signed CA, NAME.pem and NAME.key.
ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 \
    -subj "/CN=ynbsetup test $1" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
ca root && ca other || { echo "openssl cannot make a CA"; exit 1; }
# The code-signing certificate that root issued; its key under a password.
openssl req -newkey rsa:2048 -keyout "$work/sign.key" -passout pass:kakeibo -out "$work/sign.csr" \
  -subj "/CN=Hanamaru Soft" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/ext"
openssl x509 -req -in "$work/sign.csr" -CA "$work/root.pem" -CAkey "$work/root.key" -CAcreateserial -days 2 \
  -extfile "$work/ext" -out "$work/sign.pem" 2>/dev/null || { echo "openssl cannot issue the certificate"; exit 1; }

dist() { # OUTDIR [VAR=VALUE]...
  local out=$1; shift
  env -u SIGN_CERT -u SIGN_KEY -u SIGN_PASS -u SIGN_TIMESTAMP "$@" \
    bash "$src/scripts/dist.sh" "$ynbpack" "$product" "$build" x64 "$out" >"$work/dist.log" 2>&1
}
verifies() { # FILE CA
  osslsigncode verify -CAfile "$work/$2.pem" -in "$1" >"$work/verify.log" 2>&1
}
key=$(sed -n 's/^payload=\([0-9]*\).*/\1/p' "$product/keys.txt")
folder=$("$ynbpack" info "$product" | sed -n 's/^folder=//p')
# The uninstall.exe that the payload of DISTDIR carries, into FILE.
uninstaller() { # DISTDIR FILE
  payload_uninstaller "$1/x64/data00.dat" "$2"
}
payload_uninstaller() { # DATA00 FILE
  rm -rf "$work/x" && mkdir "$work/x" \
    && "$ynbpack" unpayload --key "$key" "$1" "$work/p.cab" \
    && cabextract -q -d "$work/x" "$work/p.cab" >/dev/null 2>&1 && cp "$work/x/$folder/uninstall.exe" "$2"
}

signed=$work/signed
dist "$signed" SIGN_CERT="$work/sign.pem" SIGN_KEY="$work/sign.key" SIGN_PASS=kakeibo \
  || fail "signed distribution: $(cat "$work/dist.log")"
verifies "$signed/x64/setup.exe" root || fail "setup.exe: $(cat "$work/verify.log")"
verifies "$signed/x64/setup.exe" other && fail "setup.exe verifies against a CA that did not issue its certificate"
uninstaller "$signed" "$work/uninstall.exe" || fail "no uninstall.exe in the payload"
verifies "$work/uninstall.exe" root || fail "uninstall.exe in the payload: $(cat "$work/verify.log")"
zips=("$signed"/*-x64.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "not one zip: $(ls "$signed")"
/usr/bin/python3 - "${zips[0]}" "$signed/x64" <<'EOF' || fail "the zip does not hold the distribution"
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = sorted(z.namelist())
assert names == sorted(os.listdir(sys.argv[2])) == ["data00.dat", "license.txt", "setup.exe", "setup.txt"], names
for name in names:
    assert z.read(name) == open(os.path.join(sys.argv[2], name), "rb").read(), name
EOF

plain=$work/plain
dist "$plain" || fail "unsigned distribution: $(cat "$work/dist.log")"
verifies "$plain/x64/setup.exe" root && fail "setup.exe is signed without a certificate"
uninstaller "$plain" "$work/plain-uninstall.exe" && cmp -s "$build/uninstall.exe" "$work/plain-uninstall.exe" \
  || fail "the unsigned payload does not carry the built uninstall.exe"
cmp -s "$build/setup.exe" "$plain/x64/setup.exe" && fail "setup.exe of the distribution is not stamped"

dist "$work/wrong" SIGN_CERT="$work/sign.pem" SIGN_KEY="$work/sign.key" SIGN_PASS=wrong \
  && fail "a wrong password signed"
grep -q "signing uninstall.exe failed" "$work/dist.log" || fail "wrong password: $(cat "$work/dist.log")"
dist "$work/half" SIGN_CERT="$work/sign.pem" && fail "a certificate without its key signed"
grep -q "SIGN_CERT and SIGN_KEY are needed together" "$work/dist.log" || fail "no key: $(cat "$work/dist.log")"

# ynbpack build --sign, on the prebuilt programs.
sign="osslsigncode sign -certs $work/sign.pem -key $work/sign.key -pass kakeibo -h sha256 -in {in} -out {out}"
stubbuild() { # OUTDIR SIGNING-COMMAND [ARGS...]
  local out=$1 command=$2; shift 2
  "$ynbpack" build "$product" "$out" --arch x64 --stubs "$build/stub" --tree "$build/payload" --sign "$command" "$@" \
    >"$work/build.log" 2>&1
}
stubbuild "$work/four" "$sign" || fail "build --sign: $(cat "$work/build.log")"
verifies "$work/four/setup.exe" root || fail "--sign: setup.exe: $(cat "$work/verify.log")"
payload_uninstaller "$work/four/data00.dat" "$work/four-uninstall.exe" && verifies "$work/four-uninstall.exe" root \
  || fail "--sign: the uninstall.exe in the payload: $(cat "$work/verify.log")"
grep -qx 'product=yes' <("$ynbpack" inspect "$work/four-uninstall.exe") || fail "--sign: the uninstaller lost its product"
stubbuild "$work/single" "$sign" --single-file || fail "build --single-file --sign: $(cat "$work/build.log")"
verifies "$work/single/setup.exe" root || fail "--sign: the single file: $(cat "$work/verify.log")"
payload=$("$ynbpack" inspect "$work/single/setup.exe" | sed -n 's/^payload=//p')
cp "$work/single/setup.exe" "$work/tampered.exe"
flip_byte "$work/tampered.exe" $((${payload%,*} + 100))
verifies "$work/tampered.exe" root && fail "--sign: a change in the single file's payload keeps its signature"

refused() { # WHAT COMMAND MESSAGE
  rm -rf "$work/refused"
  stubbuild "$work/refused" "$2" && fail "--sign $1: built"
  grep -q "$3" "$work/build.log" || fail "--sign $1: $(cat "$work/build.log")"
  [ ! -e "$work/refused/setup.exe" ] || fail "--sign $1: setup.exe written"
}
refused "failing" "false {in}" "signing uninstall.exe failed: the command ended with status 1"
refused "signing nothing" "true {in}" "signing uninstall.exe left it without a signature"
refused "changing more" "$sign && printf X | dd of={out} bs=1 seek=200 conv=notrunc status=none" \
  "signing uninstall.exe changed it beyond its signature"
refused "without {in}" "signtool sign" "names no {in}"

finish "dist signing"
