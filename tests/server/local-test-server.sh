# Sourced by the benchmark scripts: starts tests/server/http_test_server.py on
# 127.0.0.1 for the rest of the calling script, without the namespaces of
# with-test-server.sh (benchmarks need no trusted authority).
#
#   . tests/server/local-test-server.sh
#
# Afterwards $work is a temporary folder and $port the server's plain HTTP
# port; both the server and the folder go when the calling script exits.
work=$(mktemp -d)
server=""
cleanup_local_test_server() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup_local_test_server EXIT
python3 "$(dirname "${BASH_SOURCE[0]}")/http_test_server.py" --port-file "$work/ports" &
server=$!
for _ in $(seq 200); do
    [ -f "$work/ports" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
[ -f "$work/ports" ] || { echo "the local test server did not start" >&2; exit 1; }
port=$(awk '$1 == "http" { print $2 }' "$work/ports")
