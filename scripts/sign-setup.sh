#!/usr/bin/env bash
# Authenticode-signs one Windows executable with osslsigncode and checks the
# result; scripts/release.sh signs the release with it, and the tests sign a
# test build the same way.
#
#   scripts/sign-setup.sh --in UNSIGNED.exe --out SIGNED.exe CERTIFICATE [OPTIONS]
#   scripts/sign-setup.sh --check CERTIFICATE [OPTIONS]
#
# CERTIFICATE is one of:
#   --pkcs12 FILE.p12          the signing key, its certificate and the chain
#                              in a PKCS#12 file
#   --pkcs11-module MODULE.so --key URI --certs CHAIN.pem [--pkcs11-engine ENGINE.so]
#                              a key that stays in a hardware token: the
#                              token's PKCS#11 module, the key's pkcs11: URI
#                              and the certificate with its chain as PEM
# The PKCS#12 password, or the token's PIN, is the first line of
# --password-file FILE, or else the environment variable ORVA_CODESIGN_PASSWORD.
# It never appears on a command line (which other users can read in ps).
#
# OPTIONS:
#   --timestamp-url URL   an RFC 3161 time-stamp server: the signature then
#                         stays valid after the certificate expires
#   --product-url URL     the link shown with the signature
#                         (default https://www.orva-cad.example/)
#   --ca-file FILE        the authorities the signature must verify against
#                         (default: the system's bundle)
#   --tsa-ca-file FILE    the same for the time stamp (default: the system's bundle)
#
# --check only checks the certificate, its chain against --ca-file and its
# password (quickly, before a long build). Signing writes SIGNED.exe only once the signature verifies and
# the signed file holds exactly UNSIGNED.exe; SIGNED.exe must not exist yet.
# OSSLSIGNCODE names the osslsigncode program (default: osslsigncode).
# Works with osslsigncode 2.5 (Debian 12) and later: only options that 2.5
# has are used.
set -euo pipefail

me=sign-setup.sh
die() {
    printf '%s: %s\n' "$me" "$*" >&2
    exit 1
}
usage() {
    sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2
    exit 2
}

input=""
output=""
check_only=""
pkcs12=""
pkcs11_module=""
pkcs11_engine=""
key_uri=""
certs=""
password_file=""
timestamp_url=""
product_url=https://www.orva-cad.example/
ca_file=/etc/ssl/certs/ca-certificates.crt
tsa_ca_file=/etc/ssl/certs/ca-certificates.crt
while [ $# -gt 0 ]; do
    option=$1
    case $option in
        --check) check_only=1; shift; continue ;;
        --help | -h) usage ;;
        --in | --out | --pkcs12 | --pkcs11-module | --pkcs11-engine | --key | --certs | \
            --password-file | --timestamp-url | --product-url | --ca-file | --tsa-ca-file)
            [ $# -ge 2 ] && [ -n "$2" ] || die "$option needs a value"
            ;;
        *) die "unknown option $option (see $0 --help)" ;;
    esac
    case $option in
        --in) input=$2 ;;
        --out) output=$2 ;;
        --pkcs12) pkcs12=$2 ;;
        --pkcs11-module) pkcs11_module=$2 ;;
        --pkcs11-engine) pkcs11_engine=$2 ;;
        --key) key_uri=$2 ;;
        --certs) certs=$2 ;;
        --password-file) password_file=$2 ;;
        --timestamp-url) timestamp_url=$2 ;;
        --product-url) product_url=$2 ;;
        --ca-file) ca_file=$2 ;;
        --tsa-ca-file) tsa_ca_file=$2 ;;
    esac
    shift 2
done

osslsigncode=${OSSLSIGNCODE:-osslsigncode}
command -v "$osslsigncode" >/dev/null ||
    die "$osslsigncode is not installed (Debian: apt-get install osslsigncode)"
command -v openssl >/dev/null || die "openssl is not installed (Debian: apt-get install openssl)"

readable() {
    [ -e "$2" ] || die "$1 $2 does not exist"
    [ -f "$2" ] && [ -r "$2" ] || die "$1 $2 is not a readable file"
}

if [ -n "$pkcs12" ] && [ -n "$pkcs11_module" ]; then
    die "give either --pkcs12 or --pkcs11-module, not both"
elif [ -n "$pkcs12" ]; then
    [ -z "$key_uri$certs$pkcs11_engine" ] ||
        die "--key, --certs and --pkcs11-engine go with --pkcs11-module, not with --pkcs12"
    readable "the certificate file" "$pkcs12"
elif [ -n "$pkcs11_module" ]; then
    [ -n "$key_uri" ] || die "--pkcs11-module needs --key URI (the key in the token, pkcs11:...)"
    [ -n "$certs" ] || die "--pkcs11-module needs --certs CHAIN.pem (the certificate and its chain)"
    readable "the PKCS#11 module" "$pkcs11_module"
    [ -z "$pkcs11_engine" ] || readable "the PKCS#11 engine" "$pkcs11_engine"
    readable "the certificate chain" "$certs"
else
    die "no code-signing certificate: give --pkcs12 FILE.p12, or --pkcs11-module with --key and --certs"
fi
readable "the authorities file" "$ca_file"
if [ -z "$check_only" ]; then
    [ -n "$input" ] && [ -n "$output" ] || die "give --in UNSIGNED.exe and --out SIGNED.exe (or --check)"
    readable "the executable" "$input"
    [ ! -e "$output" ] || die "$output exists already; it is not replaced"
fi

work=$(mktemp -d)
partial=""
trap 'rm -rf "$work"; [ -z "$partial" ] || rm -f "$partial"' EXIT
# Only this user may read the password file made here.
chmod 700 "$work"

# The password as osslsigncode reads it with -readpass: no line end (versions
# differ in whether they strip one).
password=()
if [ -n "$password_file" ]; then
    readable "the password file" "$password_file"
    secret=""
    IFS= read -r secret <"$password_file" || [ -n "$secret" ] || secret=""
    printf '%s' "$secret" >"$work/password"
    password=(-readpass "$work/password")
elif [ -n "${ORVA_CODESIGN_PASSWORD+set}" ]; then
    printf '%s' "$ORVA_CODESIGN_PASSWORD" >"$work/password"
    password=(-readpass "$work/password")
elif [ -n "$pkcs12" ]; then
    die "the certificate $pkcs12 needs its password: --password-file FILE or ORVA_CODESIGN_PASSWORD"
fi
unset secret

# The certificate that will sign, as PEM, and what is wrong with it if anything.
if [ -n "$pkcs12" ]; then
    # Older exports (RC2, 3DES) need OpenSSL 3's legacy provider.
    opened=""
    for legacy in "" -legacy; do
        # shellcheck disable=SC2086 # $legacy is one word or none
        if openssl pkcs12 $legacy -in "$pkcs12" -passin "file:$work/password" -nokeys -clcerts \
            -out "$work/signer.pem" 2>"$work/openssl.log"; then
            opened=1
            break
        fi
    done
    if [ -z "$opened" ]; then
        if grep -qi 'mac verify' "$work/openssl.log"; then
            die "wrong password for the certificate $pkcs12"
        fi
        die "$pkcs12 is not a PKCS#12 certificate file (.p12, .pfx) that openssl can read"
    fi
    # shellcheck disable=SC2086
    openssl pkcs12 $legacy -in "$pkcs12" -passin "file:$work/password" -nocerts -nodes \
        2>/dev/null | grep -q 'PRIVATE KEY' || die "$pkcs12 holds no private key to sign with"
    signer=(-pkcs12 "$pkcs12")
else
    openssl x509 -in "$certs" -out "$work/signer.pem" 2>"$work/openssl.log" ||
        die "$certs holds no PEM certificate: $(head -n 1 "$work/openssl.log")"
    signer=()
    [ -z "$pkcs11_engine" ] || signer+=(-pkcs11engine "$pkcs11_engine")
    signer+=(-pkcs11module "$pkcs11_module" -certs "$certs" -key "$key_uri")
fi
grep -q 'BEGIN CERTIFICATE' "$work/signer.pem" 2>/dev/null || die "no certificate found in ${pkcs12:-$certs}"
subject=$(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt oneline | sed 's/^subject= *//')
openssl x509 -in "$work/signer.pem" -noout -checkend 0 >/dev/null ||
    die "the certificate \"$subject\" has expired ($(openssl x509 -in "$work/signer.pem" -noout -enddate))"
openssl x509 -in "$work/signer.pem" -noout -ext extendedKeyUsage 2>/dev/null |
    grep -q 'Code Signing' ||
    die "the certificate \"$subject\" is not for code signing (its extendedKeyUsage has no codeSigning)"

# The chain, checked as the signing step's verification will check it: the
# certificate, with the authorities it comes with, against --ca-file. So that
# --check refuses what signing would refuse after a long build.
if [ -n "$pkcs12" ]; then
    # shellcheck disable=SC2086
    openssl pkcs12 $legacy -in "$pkcs12" -passin "file:$work/password" -nokeys -cacerts \
        -out "$work/chain.pem" 2>/dev/null || : >"$work/chain.pem"
else
    cp "$certs" "$work/chain.pem"
fi
untrusted=()
grep -q 'BEGIN CERTIFICATE' "$work/chain.pem" && untrusted=(-untrusted "$work/chain.pem")
if ! openssl verify -CAfile "$ca_file" "${untrusted[@]}" "$work/signer.pem" >"$work/chain.log" 2>&1; then
    die "the certificate \"$subject\" does not verify against $ca_file ($(grep -m 1 -i 'error' "$work/chain.log" || head -n 1 "$work/chain.log")); give the authorities that issued the certificate with --ca-file"
fi

if [ -n "$check_only" ]; then
    echo "certificate: $subject"
    exit 0
fi

options=(-h sha256 -n "Orva Setup" -i "$product_url")
[ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
if ! "$osslsigncode" sign "${signer[@]}" "${password[@]}" "${options[@]}" \
    -in "$input" -out "$work/signed.exe" >"$work/sign.log" 2>&1; then
    cat "$work/sign.log" >&2
    if [ -n "$pkcs11_module" ] && grep -q 'PIN incorrect' "$work/sign.log"; then
        # Tokens lock themselves after a few wrong PINs: say so at once.
        die "wrong PIN for the token that holds $key_uri"
    fi
    die "osslsigncode could not sign $input with \"$subject\" (its output is above)"
fi

verify=(-CAfile "$ca_file")
[ -z "$timestamp_url" ] || verify+=(-TSA-CAfile "$tsa_ca_file")
if ! "$osslsigncode" verify -in "$work/signed.exe" "${verify[@]}" >"$work/verify.log" 2>&1; then
    cat "$work/verify.log" >&2
    die "the signature made with \"$subject\" does not verify against $ca_file (osslsigncode's output is above); give the authorities that issued the certificate with --ca-file"
fi

# Signing adds the signature and nothing else: without it, the file is the
# program that was built.
"$osslsigncode" remove-signature -in "$work/signed.exe" -out "$work/unsigned.exe" \
    >"$work/remove.log" 2>&1 || die "osslsigncode could not take the signature off again: $(cat "$work/remove.log")"
cmp -s "$work/unsigned.exe" "$input" || die "the signed file does not hold exactly $input"

# Into place in one step: a reader of SIGNED.exe never sees half a file.
partial=$(mktemp "$(dirname "$output")/.$(basename "$output").XXXXXX")
cp "$work/signed.exe" "$partial"
mv "$partial" "$output"
echo "signed: $output"
echo "certificate: $subject"
