#!/bin/sh
# with-test-server.sh PROGRAM [ARGUMENTS...]
#
# Runs one test program (a Windows .exe under Wine through cmake/wine-run.sh,
# anything else directly) against its own instance of http_test_server.py, and
# stops the server when the program ends, whatever the outcome.
#
# Why the server is started here, around the test program, rather than by the
# program itself: a Windows program under Wine can start a Unix program only
# through Wine's "start /unix", which neither waits for it nor lets it be
# stopped reliably; a shell script can do both and hand the ports over in the
# environment, which Wine passes on to the Windows process.
#
# The test program sees:
#   ORVA_TEST_HTTP_URL       http://127.0.0.1:PORT
#   ORVA_TEST_HTTPS_URL      https://127.0.0.1:PORT, certificate from the test authority
#   ORVA_TEST_UNTRUSTED_URL  https://127.0.0.1:PORT, certificate from an authority nobody trusts
#   ORVA_TEST_CLOSED_URL     http://127.0.0.1:PORT where nothing listens
#   ORVA_TEST_TRUSTED_CA     1 when the test authority is trusted, else 0
#   ORVA_TEST_TINY_FOLDER    a folder on a 1 MiB file system of its own, as a
#                            Windows path, for tests of a full disk (root only)
#
# The server's /update/... service may serve installers by name from the folder
# $ORVA_TEST_FILES. When $ORVA_TEST_NGINX_INSTALLER names a file there, or is a
# number of bytes of the test pattern (what /update/SCENARIO/NUMBER/... serves),
# the reference update service (service/run-local.sh) also runs, twice, with
# that installer published as the signed release 2.4.1, and the program sees:
#   ORVA_TEST_NGINX_URL            its base address, certificate from the test authority
#   ORVA_TEST_NGINX_UNTRUSTED_URL  the same service with a certificate nobody trusts
#
# As root (CI), everything runs in namespaces of its own:
#   - a network namespace with loopback only, so nothing a test does can reach
#     beyond this machine (a name under .invalid fails without asking a
#     resolver elsewhere, and a closed port stays closed);
#   - a mount namespace where the system's certificate bundle, which Wine's
#     WinHTTP trusts, is replaced by a copy with the test authority added. The
#     machine's trust store is not touched.
# Wine creates sockets and checks certificates partly in its wine server, so
# the server of the prefix must run inside the namespaces as well: the prefix
# ($WINEPREFIX, which the caller sets) belongs to tests run through this
# script, its server is stopped before the program starts and when it ends.
# Without root the program runs unconfined and ORVA_TEST_TRUSTED_CA is 0.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${ORVA_TEST_NAMESPACE:-}" = "" ]; then
    if [ "$(id -u)" -eq 0 ] && unshare --net --mount true 2>/dev/null; then
        ORVA_TEST_NAMESPACE=private exec unshare --net --mount --propagation private "$0" "$@"
    fi
    echo "with-test-server.sh: no namespaces (not root?): the trusted-certificate tests are skipped" >&2
    ORVA_TEST_NAMESPACE=none
fi
export ORVA_TEST_NAMESPACE

work=$(mktemp -d)
server=""
nginx_pids=""
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    for pid in $nginx_pids; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    [ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true
    umount "$work/tiny" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A certificate authority and a server certificate for 127.0.0.1 signed by it,
# made anew for every run (so no key is kept, and nothing expires in the tree),
# and a second pair from an authority nobody trusts. Each folder gets ca.pem,
# server.pem, server.key (service/make-test-cert.sh) and chain.pem, the
# certificate followed by its authority's, which the servers present.
# make_certificates FOLDER AUTHORITY_NAME
make_certificates() {
    "$root/service/make-test-cert.sh" "$1" "$2"
    cat "$1/server.pem" "$1/ca.pem" >"$1/chain.pem"
}
make_certificates "$work/trusted-tls" "Orva test authority"
make_certificates "$work/stranger-tls" "Orva stranger authority"

export ORVA_TEST_SERVER_DIR="$here"
trusted=0
if [ "$ORVA_TEST_NAMESPACE" = private ]; then
    ip link set lo up
    bundle=/etc/ssl/certs/ca-certificates.crt
    cat "$bundle" "$work/trusted-tls/ca.pem" >"$work/bundle.pem"
    mount --bind "$work/bundle.pem" "$bundle"
    trusted=1
    # A file system that fills up after 1 MiB, for the full-disk tests.
    mkdir "$work/tiny"
    mount -t tmpfs -o size=1m tmpfs "$work/tiny"
    export ORVA_TEST_TINY_FOLDER="Z:$work/tiny\\"
fi

python3 "$here/http_test_server.py" --port-file "$work/ports" --files "${ORVA_TEST_FILES:-$work}" \
    --tls https "$work/trusted-tls/chain.pem" "$work/trusted-tls/server.key" \
    --tls untrusted "$work/stranger-tls/chain.pem" "$work/stranger-tls/server.key" &
server=$!
tries=0
while [ ! -f "$work/ports" ]; do
    kill -0 "$server" 2>/dev/null || { echo "with-test-server.sh: the server did not start" >&2; exit 1; }
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || { echo "with-test-server.sh: the server did not start in 20 s" >&2; exit 1; }
    sleep 0.1
done
port() { awk -v name="$1" '$1 == name { print $2 }' "$work/ports"; }
export ORVA_TEST_HTTP_URL="http://127.0.0.1:$(port http)"
export ORVA_TEST_HTTPS_URL="https://127.0.0.1:$(port https)"
export ORVA_TEST_UNTRUSTED_URL="https://127.0.0.1:$(port untrusted)"
export ORVA_TEST_CLOSED_URL="http://127.0.0.1:$(port closed)"
export ORVA_TEST_TRUSTED_CA=$trusted

# start_service NAME TLS_FOLDER: the reference update service on a free port
# over HTTPS, serving $work/releases; sets service_url to its base address.
start_service() {
    for _ in 1 2 3; do
        port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        "$root/service/run-local.sh" "$work/nginx-$1" "$port" "$work/releases" \
            "$2/chain.pem" "$2/server.key" 2>"$work/nginx-$1.log" &
        pid=$!
        tries=0
        while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
            if python3 -c "import socket, sys; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; then
                nginx_pids="$nginx_pids $pid"
                service_url="https://127.0.0.1:$port/api/update"
                return 0
            fi
            tries=$((tries + 1))
            sleep 0.1
        done
        kill -TERM "$pid" 2>/dev/null || true
    done
    echo "with-test-server.sh: the update service did not start:" >&2
    cat "$work/nginx-$1.log" >&2
    return 1
}
if [ -n "${ORVA_TEST_NGINX_INSTALLER:-}" ]; then
    mkdir "$work/releases"
    case "$ORVA_TEST_NGINX_INSTALLER" in
    *[!0-9]*) cp "$ORVA_TEST_FILES/$ORVA_TEST_NGINX_INSTALLER" "$work/releases/Orva-Setup-2.4.1.exe" ;;
    esac
    # The list as the release tool writes it, signed with the TEST-ONLY key.
    python3 - "$work/releases" "$ORVA_TEST_NGINX_INSTALLER" <<'PYTHON'
import hashlib, json, os, sys
sys.dont_write_bytecode = True
sys.path.insert(0, os.environ["ORVA_TEST_SERVER_DIR"])
import http_test_server as server
folder = sys.argv[1]
path = os.path.join(folder, "Orva-Setup-2.4.1.exe")
if sys.argv[2].isdigit():
    with open(path, "wb") as installer:
        installer.write(server.pattern(0, int(sys.argv[2])))
with open(path, "rb") as installer:
    content = installer.read()
entry = server.release("2.4.1", len(content), sha256=hashlib.sha256(content).hexdigest())
with open(os.path.join(folder, "list.json"), "w") as out:
    json.dump({"releases": [entry]}, out, indent=2)
PYTHON
    start_service trusted "$work/trusted-tls"
    export ORVA_TEST_NGINX_URL="$service_url"
    start_service untrusted "$work/stranger-tls"
    export ORVA_TEST_NGINX_UNTRUSTED_URL="$service_url"
fi

case "$1" in
*.exe)
    [ -n "${WINEPREFIX:-}" ] || { echo "with-test-server.sh: set WINEPREFIX" >&2; exit 2; }
    # A server left from an earlier run lives outside these namespaces; the
    # program must not reach it while it is still going away.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    set +e
    "$root/cmake/wine-run.sh" "$@"
    status=$?
    set -e
    ;;
*)
    set +e
    "$@"
    status=$?
    set -e
    ;;
esac
exit "$status"
