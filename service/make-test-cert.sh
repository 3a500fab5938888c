#!/bin/sh
# Makes a throw-away certificate authority and a server certificate for
# 127.0.0.1 and localhost, for running the update service and the local test
# server in tests and demonstrations (never for a real host). The one place
# where the project makes TLS certificates (the release tests' code-signing
# ones come from tests/release/make-code-signing-cert.sh):
#
#   service/make-test-cert.sh DIR [AUTHORITY_NAME]
#
# writes DIR/ca.pem (to trust), DIR/server.pem and DIR/server.key (for
# run-local.sh). AUTHORITY_NAME is the authority's common name (default "Orva
# update service test CA"); authorities made side by side, such as one that
# is trusted and one that is not, need names of their own, or a client could
# take one for the other while building the chain. Valid for two days. Uses
# the openssl command.
#
# The address is named twice: as an IP address, which clients such as curl
# match, and as a DNS name, which is all Wine's WinHTTP matches.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 DIR [AUTHORITY_NAME]" >&2
    exit 2
fi
dir=$1
authority=${2:-Orva update service test CA}
mkdir -p "$dir"
cat >"$dir/server.ext" <<'END'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:127.0.0.1, DNS:localhost
END

# full_signature CERT: true when both integers of the certificate's ECDSA
# signature take 32 bytes or more. Wine 8 refuses a certificate whose
# signature has a shorter one (about one signature in 64 has): it then trusts
# neither the server nor its authority, and every HTTPS request of the run
# fails with WinHTTP error 12157. Windows accepts such certificates.
full_signature() {
    openssl x509 -in "$1" -outform DER -out "$dir/check.der"
    offset=$(openssl asn1parse -inform DER -in "$dir/check.der" |
        awk '/d=1 .*BIT STRING/ { o = $1 } END { sub(/:.*/, "", o); print o }')
    short=$(openssl asn1parse -inform DER -in "$dir/check.der" -strparse "$offset" |
        sed -n 's/.*l= *\([0-9]*\) prim: INTEGER.*/\1/p' | awk '$1 < 32' | wc -l)
    rm -f "$dir/check.der"
    [ "$short" -eq 0 ]
}

tries=0
while :; do
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
        -subj "/CN=$authority" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
        -subj "/CN=127.0.0.1" -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
        -CAcreateserial -days 2 -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null
    if full_signature "$dir/ca.pem" && full_signature "$dir/server.pem"; then
        break
    fi
    tries=$((tries + 1))
    if [ "$tries" -ge 20 ]; then
        echo "$0: no certificate with a full-length signature in 20 tries" >&2
        exit 1
    fi
done
rm -f "$dir/server.csr" "$dir/server.ext" "$dir/ca.srl"
