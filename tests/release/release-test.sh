#!/usr/bin/env bash
# release-test.sh PUBLIC_KEY [REFERENCE_EXE]
#
# Runs scripts/release.sh as a maker would, with a throw-away certificate
# authority and code-signing certificate made here, into a dist folder of its
# own, and checks what it wrote:
#   - dist holds the four files and SHA256SUMS checks with sha256sum -c;
#   - the signed program verifies with osslsigncode against the authority,
#     and does not against another authority, nor once one byte is changed;
#   - without its signature the signed program is the unsigned one, and that
#     is REFERENCE_EXE, the program built independently in another build
#     tree from the same commit and key (when given);
#   - BUILDINFO names the commit and the key's fingerprint.
# The same with the signer's key in a PKCS#11 token (SoftHSM). Then each way
# a release can fail (a wrong or missing password, a missing or wrong
# certificate file, a signature nobody trusts, a wrong PIN, the TEST-ONLY key)
# must fail with a message that says so and leave the earlier release in
# dist as it was, with nothing half-written beside it.
# OSSLSIGNCODE names the osslsigncode program (default: osslsigncode).
set -euo pipefail

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 PUBLIC_KEY [REFERENCE_EXE]" >&2; exit 2; }
key=$1
reference=${2:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
osslsigncode=${OSSLSIGNCODE:-osslsigncode}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset ORVA_CODESIGN_PASSWORD

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

password='correct horse, battery staple'
"$root/tests/release/make-code-signing-cert.sh" "$work/cert" "$password"
"$root/tests/release/make-code-signing-cert.sh" "$work/stranger" "another password" "Orva stranger CA"
# A line end after the password, as an editor saves it.
printf '%s\n' "$password" >"$work/password.txt"
printf 'not the password\n' >"$work/wrong-password.txt"

out=$work/out
mkdir "$out"
dist=$out/dist
build=$work/build
release() {
    "$root/scripts/release.sh" --build-dir "$build" --dist "$dist" "$@"
}

# BUILDINFO must say what the tree was as the release began.
if [ -z "$(git -C "$root" status --porcelain --untracked-files=normal 2>/dev/null)" ]; then
    tree_at_start=clean
else
    tree_at_start=modified
fi

echo "=== a release"
started=$(date +%s)
if ! ORVA_CODESIGN_PASSWORD=$password release --public-key "$key" --pkcs12 "$work/cert/signer.p12" \
    --ca-file "$work/cert/ca.pem"; then
    echo "FAIL: release.sh failed"
    exit 1
fi
echo "release.sh took $(($(date +%s) - started)) s"

listing=$(cd "$dist" && ls -A | sort | tr '\n' ' ')
[ "$listing" = "BUILDINFO Orva-Setup-unsigned.exe Orva-Setup.exe SHA256SUMS " ] &&
    pass "dist holds the four files" || fail "dist holds: $listing"
(cd "$dist" && sha256sum -c SHA256SUMS) && pass "sha256sum -c SHA256SUMS" ||
    fail "SHA256SUMS does not check"
# What is published beside the program is what SHA256SUMS lists, so that it
# checks there too; and every file is for everyone to read.
[ "$(cut -d ' ' -f 3 "$dist/SHA256SUMS" | tr '\n' ' ')" = "Orva-Setup.exe " ] &&
    pass "SHA256SUMS lists the published program alone" || fail "SHA256SUMS: $(cat "$dist/SHA256SUMS")"
modes=$(cd "$dist" && stat -c '%a' BUILDINFO Orva-Setup-unsigned.exe Orva-Setup.exe SHA256SUMS | tr '\n' ' ')
[ "$modes" = "644 644 644 644 " ] && pass "the files are readable by everyone (0644)" ||
    fail "the files' modes are $modes"
grep -q "^tree: $tree_at_start" "$dist/BUILDINFO" && pass "BUILDINFO says the tree was $tree_at_start" ||
    fail "BUILDINFO does not say the tree was $tree_at_start: $(grep '^tree:' "$dist/BUILDINFO")"
grep -q "^unsigned program sha256: $(sha256sum "$dist/Orva-Setup-unsigned.exe" | cut -d ' ' -f 1) " \
    "$dist/BUILDINFO" && pass "BUILDINFO gives the unsigned program's SHA-256" ||
    fail "BUILDINFO lacks the unsigned program's SHA-256"
"$root/scripts/release.sh" --help >"$work/help.out" 2>&1 && grep -q -- "--public-key HEX" "$work/help.out" &&
    pass "release.sh --help exits 0" || fail "release.sh --help failed or said nothing"

signed=$dist/Orva-Setup.exe
unsigned=$dist/Orva-Setup-unsigned.exe
echo "--- osslsigncode verify -in Orva-Setup.exe -CAfile ca.pem"
if "$osslsigncode" verify -in "$signed" -CAfile "$work/cert/ca.pem"; then
    pass "the signed program verifies against the authority"
else
    fail "the signed program does not verify against the authority"
fi
echo "---"

# Copies that must not verify.
cp "$signed" "$work/altered.exe"
python3 - "$work/altered.exe" <<'PYTHON'
import os, sys
with open(sys.argv[1], "r+b") as f:
    middle = os.path.getsize(sys.argv[1]) // 2  # in the program's code, which the signature covers
    f.seek(middle)
    byte = f.read(1)[0]
    f.seek(middle)
    f.write(bytes([byte ^ 0x01]))
PYTHON
cmp -s "$signed" "$work/altered.exe" && fail "the copy was not altered"
refused_by_verify() { # DESCRIPTION FILE CA_FILE
    if "$osslsigncode" verify -in "$2" -CAfile "$3" >"$work/verify.log" 2>&1; then
        fail "$1 verifies"
        cat "$work/verify.log"
    else
        pass "$1 does not verify"
    fi
}
refused_by_verify "the signed program against another authority" "$signed" "$work/stranger/ca.pem"
refused_by_verify "the signed program with one byte changed" "$work/altered.exe" "$work/cert/ca.pem"
refused_by_verify "the unsigned program" "$unsigned" "$work/cert/ca.pem"

"$osslsigncode" remove-signature -in "$signed" -out "$work/removed.exe" >/dev/null
digest() { sha256sum <"$1" | cut -d ' ' -f 1; }
[ "$(digest "$work/removed.exe")" = "$(digest "$unsigned")" ] &&
    pass "without its signature the signed program is Orva-Setup-unsigned.exe" ||
    fail "without its signature the signed program is not Orva-Setup-unsigned.exe"
if [ -n "$reference" ]; then
    if [ "$(digest "$unsigned")" = "$(digest "$reference")" ]; then
        pass "Orva-Setup-unsigned.exe is the program built in $(dirname "$reference")"
    else
        fail "Orva-Setup-unsigned.exe ($(digest "$unsigned")) is not $reference ($(digest "$reference"))"
    fi
fi
echo "unsigned: $(stat -c %s "$unsigned") bytes  $(digest "$unsigned")"
echo "signed:   $(stat -c %s "$signed") bytes  $(digest "$signed")"

echo "--- BUILDINFO"
cat "$dist/BUILDINFO"
echo "---"
fingerprint=$(python3 -c 'import hashlib, sys; print(hashlib.sha256(bytes.fromhex(sys.argv[1])).hexdigest())' "$key")
grep -qx "commit: $(git -C "$root" rev-parse HEAD)" "$dist/BUILDINFO" && pass "BUILDINFO names the commit" ||
    fail "BUILDINFO does not name the commit"
grep -q "^release key fingerprint: $fingerprint " "$dist/BUILDINFO" &&
    pass "BUILDINFO names the key's fingerprint" || fail "BUILDINFO lacks the fingerprint $fingerprint"
for line in "tree: " "compiler: x86_64-w64-mingw32-g++" "binutils: GNU ld" "cmake: cmake version" \
    "osslsigncode: osslsigncode "; do
    grep -q "^$line" "$dist/BUILDINFO" || fail "BUILDINFO has no line \"$line...\""
done

echo "=== a release signed with a key in a hardware token (SoftHSM through PKCS#11)"
# A token of its own in this test's folder, holding the signer's key; the
# certificate chain stays outside, as with a real token.
export SOFTHSM2_CONF=$work/softhsm2.conf
mkdir "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/tokens" \
    >"$SOFTHSM2_CONF"
pin=271828
softhsm2-util --init-token --free --label orva-test --pin "$pin" --so-pin 31415926 >/dev/null
softhsm2-util --import "$work/cert/signer.key" --token orva-test --label signer --id 01 --pin "$pin" \
    >/dev/null
cat "$work/cert/signer.pem" "$work/cert/ca.pem" >"$work/chain.pem"
module=/usr/lib/softhsm/libsofthsm2.so
token_options=(--pkcs11-module "$module" --key "pkcs11:token=orva-test;object=signer;type=private"
    --certs "$work/chain.pem")
if ORVA_CODESIGN_PASSWORD=$pin "$root/scripts/release.sh" --build-dir "$build" --dist "$out/token-dist" \
    --public-key "$key" "${token_options[@]}" --ca-file "$work/cert/ca.pem" >"$work/token.log" 2>&1; then
    if "$osslsigncode" verify -in "$out/token-dist/Orva-Setup.exe" -CAfile "$work/cert/ca.pem" \
        >/dev/null 2>&1; then
        pass "the release signed in the token verifies"
    else
        fail "the release signed in the token does not verify"
    fi
    cmp -s "$out/token-dist/Orva-Setup-unsigned.exe" "$unsigned" &&
        pass "it is the same program as the first release" || fail "the token's release is another program"
else
    cat "$work/token.log"
    fail "release.sh failed with the key in the token"
fi
rm -rf "$out/token-dist"

echo "=== releases that must fail and leave dist as it was"
state() { (cd "$out" && ls -A && cd "$dist" && ls -l --time-style=+%s.%N && sha256sum ./*); }
before=$(state)
test_key=$(cat "$root/tests/data/keys/test-release-key.TEST-ONLY.pub.hex")
# refused DESCRIPTION MESSAGE RELEASE_OPTIONS...: release.sh fails, says
# MESSAGE, and dist and its folder are unchanged.
refused() {
    local description=$1 message=$2 status=0
    shift 2
    release "$@" >"$work/refused.out" 2>"$work/refused.err" || status=$?
    if [ "$status" -eq 0 ]; then
        fail "$description: release.sh succeeded"
    elif ! grep -qF -- "$message" "$work/refused.err"; then
        fail "$description: release.sh did not say \"$message\":"
        cat "$work/refused.err"
    elif [ "$(state)" != "$before" ]; then
        fail "$description: dist or its folder changed:"
        diff <(echo "$before") <(state) || true
    else
        pass "$description: \"$(tail -n 1 "$work/refused.err")\""
    fi
}
p12=$work/cert/signer.p12
refused "a wrong password" "wrong password for the certificate" \
    --public-key "$key" --pkcs12 "$p12" --password-file "$work/wrong-password.txt"
refused "no password" "needs its password" --public-key "$key" --pkcs12 "$p12"
refused "a missing certificate file" "the certificate file $work/absent.p12 does not exist" \
    --public-key "$key" --pkcs12 "$work/absent.p12" --password-file "$work/password.txt"
refused "a file that is no PKCS#12 certificate" "is not a PKCS#12 certificate file" \
    --public-key "$key" --pkcs12 "$work/cert/ca.pem" --password-file "$work/password.txt"
# A chain nobody given trusts: found by the check before the build.
refused "a signature that does not verify" "does not verify against $work/stranger/ca.pem" \
    --public-key "$key" --pkcs12 "$p12" --password-file "$work/password.txt" \
    --ca-file "$work/stranger/ca.pem"
# --check as the README's step 2 runs it, without --ca-file: the test
# authority is in no system bundle, so signing would refuse the certificate,
# and the check must say so already.
if "$root/scripts/sign-setup.sh" --check --pkcs12 "$p12" --password-file "$work/password.txt" \
    >"$work/check.out" 2>"$work/check.err"; then
    fail "sign-setup.sh --check passed a certificate that signing refuses"
elif grep -q "does not verify against /etc/ssl/certs/ca-certificates.crt" "$work/check.err"; then
    pass "sign-setup.sh --check refuses a chain the signing step would refuse"
else
    fail "sign-setup.sh --check said: $(cat "$work/check.err")"
fi
printf '000000\n' >"$work/wrong-pin.txt"
refused "a wrong PIN for the token" "wrong PIN for the token" \
    --public-key "$key" "${token_options[@]}" --password-file "$work/wrong-pin.txt" \
    --ca-file "$work/cert/ca.pem"
refused "the TEST-ONLY release key" "TEST-ONLY" \
    --public-key "$test_key" --pkcs12 "$p12" --password-file "$work/password.txt"
# A release folder whose list another key signed (the TEST-ONLY one): the
# program just built would not take its newest release.
mkdir -p "$work/site"
cp "$root/tests/data/signing/releases.json" "$work/site/list.json"
refused "a release folder signed with another key" "does not verify with the key this program carries" \
    --public-key "$key" --pkcs12 "$p12" --password-file "$work/password.txt" \
    --ca-file "$work/cert/ca.pem" --release-folder "$work/site"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS"
