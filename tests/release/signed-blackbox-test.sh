#!/usr/bin/env bash
# signed-blackbox-test.sh SETUP_EXE BLACKBOX_TEST_EXE
#
# Signs SETUP_EXE (the program built with the TEST-ONLY key) the way
# scripts/release.sh signs a release, with a throw-away certificate, and runs
# the black-box success scenario with the signed copy: a signature must not
# keep the program from downloading, checking and starting the installer.
# Run through tests/server/with-test-server.sh, which provides the services.
#
# The driver starts ORVA_SETUP_EXE_OVERRIDE instead of its own program. That
# it really does is shown first: pointed at a program that does not exist,
# the same scenario must fail.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 SETUP_EXE BLACKBOX_TEST_EXE" >&2; exit 2; }
setup=$1
driver=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

password=throw-away
"$root/tests/release/make-code-signing-cert.sh" "$work/cert" "$password"
mkdir "$work/signed"
signed=$work/signed/Orva-Setup.exe
ORVA_CODESIGN_PASSWORD=$password "$root/scripts/sign-setup.sh" --in "$setup" --out "$signed" \
    --pkcs12 "$work/cert/signer.p12" --ca-file "$work/cert/ca.pem"
"${OSSLSIGNCODE:-osslsigncode}" verify -in "$signed" -CAfile "$work/cert/ca.pem" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; echo "FAIL: the signed copy does not verify"; exit 1; }
echo "unsigned: $(stat -c %s "$setup") bytes; signed: $(stat -c %s "$signed") bytes"

filter=--gtest_filter=BlackBoxTest.DownloadsChecksStartsTheInstallerAndExits
# The prefix's wine server must run inside with-test-server.sh's namespaces;
# one left from an earlier run lives outside them.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

status=0
ORVA_SETUP_EXE_OVERRIDE=$work/absent/Orva-Setup.exe "$root/cmake/wine-run.sh" "$driver" "$filter" \
    >"$work/absent.log" 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
    cat "$work/absent.log"
    echo "FAIL: the scenario passed with a program that does not exist: the driver ignores ORVA_SETUP_EXE_OVERRIDE"
    exit 1
fi
echo "ok: without a program at ORVA_SETUP_EXE_OVERRIDE the scenario fails"

status=0
ORVA_SETUP_EXE_OVERRIDE=$signed "$root/cmake/wine-run.sh" "$driver" "$filter" >"$work/signed.log" 2>&1 ||
    status=$?
cat "$work/signed.log"
if [ "$status" -ne 0 ] || ! grep -q '^\[  PASSED  \] 1 test\.' "$work/signed.log"; then
    echo "FAIL: the success scenario with the signed program"
    exit 1
fi
echo "PASS: the signed program downloads, checks and starts the installer"
