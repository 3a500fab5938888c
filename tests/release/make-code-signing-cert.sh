#!/bin/sh
# Makes a throw-away certificate authority and a code-signing certificate
# issued by it, for the tests of scripts/release.sh (never for a real
# release):
#
#   tests/release/make-code-signing-cert.sh DIR PASSWORD [AUTHORITY_NAME]
#
# writes DIR/ca.pem (the authority, to verify against), DIR/signer.p12 (the
# signer's key and certificate with the authority's, encrypted with
# PASSWORD), and DIR/signer.pem and DIR/signer.key (the same unencrypted, as
# a hardware token would hold them). RSA, as code-signing certificates
# commonly are; valid for two days. Uses the openssl command.
set -eu

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 DIR PASSWORD [AUTHORITY_NAME]" >&2
    exit 2
fi
dir=$1
password=$2
authority=${3:-Orva code-signing test CA}
mkdir -p "$dir"
cat >"$dir/signer.ext" <<'END'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
END
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -subj "/O=Orva CAD test/CN=Orva CAD test signer" \
    -keyout "$dir/signer.key" -out "$dir/signer.csr" 2>/dev/null
openssl x509 -req -in "$dir/signer.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
    -CAcreateserial -days 2 -extfile "$dir/signer.ext" -out "$dir/signer.pem" 2>/dev/null
# The password goes through a file, not the command line that ps shows.
printf '%s' "$password" >"$dir/password.tmp"
openssl pkcs12 -export -in "$dir/signer.pem" -inkey "$dir/signer.key" -certfile "$dir/ca.pem" \
    -name "Orva CAD test signer" -passout "file:$dir/password.tmp" -out "$dir/signer.p12"
rm -f "$dir/signer.csr" "$dir/signer.ext" "$dir/ca.srl" "$dir/password.tmp"
