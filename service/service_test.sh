#!/usr/bin/env bash
# Runs the update service as service/run-local.sh starts it, over HTTPS on a
# free port of 127.0.0.1, on a releases folder made by orva-release, and
# checks what the program relies on: the list, an installer byte for byte,
# and a JSON "error" sentence for every error, including versions that try
# to name another file; and what caches in front rely on: how long each
# answer may be kept, the list's ETag and its 304. nginx is stopped at the
# end, whatever happened.
#
#   service/service_test.sh PATH/TO/orva-release
set -euo pipefail

tool=$1
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill -TERM "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# The releases folder, as a maker makes it.
site=$tmp/site
mkdir -p "$site"
head -c 300000 /dev/urandom >"$tmp/build-2.4.0.exe"
head -c 123457 /dev/urandom >"$tmp/build-2.4.1.exe"
"$tool" keygen --out "$tmp/maker.pem" >/dev/null 2>&1
for version in 2.4.0 2.4.1; do
    "$tool" sign --key "$tmp/maker.pem" --list "$site/list.json" \
        --installer "$tmp/build-$version.exe" --version "$version" >/dev/null
    cp "$tmp/build-$version.exe" "$site/Orva-Setup-$version.exe"
done

"$here/make-test-cert.sh" "$tmp/tls"
curl_base=(curl -sS --noproxy '*' --path-as-is --cacert "$tmp/tls/ca.pem")

# Start nginx on a free port; another process may take the port between the
# choice and the start, so a refused start is tried again on a new port.
for attempt in 1 2 3; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$here/run-local.sh" "$tmp/prefix" "$port" "$site" "$tmp/tls/server.pem" "$tmp/tls/server.key" \
        2>"$tmp/nginx.stderr" &
    nginx_pid=$!
    ready=
    for _ in $(seq 100); do
        kill -0 "$nginx_pid" 2>/dev/null || break
        if "${curl_base[@]}" -o /dev/null "https://127.0.0.1:$port/" 2>/dev/null; then
            ready=1
            break
        fi
        sleep 0.1
    done
    [ -n "$ready" ] && break
    kill -TERM "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
    echo "nginx did not start on port $port (attempt $attempt):" >&2
    cat "$tmp/nginx.stderr" "$tmp/prefix/error.log" >&2 2>/dev/null || true
done
[ -n "$nginx_pid" ] || { echo "FAILED: nginx did not start" >&2; exit 1; }
base=https://127.0.0.1:$port/api/update

# request URL [curl options...]: the status on stdout; the body in $tmp/body,
# the headers in $tmp/headers, the Content-Type in $tmp/type.
request() {
    local url=$1
    shift
    : >"$tmp/body"  # curl leaves the file alone when no body comes
    "${curl_base[@]}" "$@" -o "$tmp/body" -D "$tmp/headers" -w '%{http_code}' "$url"
    header content-type >"$tmp/type"
}

# header NAME: the values of every NAME header of the last answer, joined by
# " | " (so that a second Cache-Control cannot hide behind the first).
header() {
    { grep -i "^$1:" "$tmp/headers" || true; } | cut -d' ' -f2- | tr -d '\r' | paste -sd'|' |
        sed 's/|/ | /g'
}

list_cache="public, max-age=60, stale-while-revalidate=300"
installer_cache="public, max-age=31536000, immutable"

# expect_error WHAT STATUS SENTENCE URL [curl options...]: checks the status
# and Content-Type now and keeps the body, whose "error" member is checked
# with the others at the end (one Python start for all of them).
mkdir -p "$tmp/errors"
errors=0
expect_error() {
    local what=$1 status=$2 sentence=$3 url=$4
    shift 4
    local got
    got=$(request "$url" "$@") || { fail "$what: no answer"; return; }
    [ "$got" = "$status" ] || fail "$what: status $got, expected $status"
    [ "$(cat "$tmp/type")" = application/json ] || fail "$what: Content-Type '$(cat "$tmp/type")'"
    # A cache in front must not keep an error: each one can end at any
    # moment, such as a 404 for a version whose installer is being published.
    [ "$(header cache-control)" = no-store ] ||
        fail "$what: Cache-Control '$(header cache-control)', expected no-store"
    errors=$((errors + 1))
    cp "$tmp/body" "$tmp/errors/$errors.body"
    printf '%s\n%s\n' "$what" "$sentence" >"$tmp/errors/$errors.expected"
}

# Every kept body must be a JSON object whose "error" is the expected text.
check_error_bodies() {
    python3 - "$tmp/errors" "$errors" <<'END' || failures=$((failures + 1))
import json, pathlib, sys
folder, count = pathlib.Path(sys.argv[1]), int(sys.argv[2])
failed = False
for n in range(1, count + 1):
    what, sentence = (folder / f"{n}.expected").read_text(encoding="utf-8").splitlines()
    body = (folder / f"{n}.body").read_bytes()
    try:
        error = json.loads(body.decode("utf-8"))["error"]
    except (ValueError, KeyError, TypeError):
        print(f"FAILED: {what}: the body is not a JSON object with an error text: {body[:200]!r}")
        failed = True
        continue
    if error != sentence:
        print(f"FAILED: {what}: error {error!r}, expected {sentence!r}")
        failed = True
sys.exit(1 if failed else 0)
END
}

# The list, as orva-release wrote it.
status=$(request "$base/list")
[ "$status" = 200 ] || fail "list: status $status"
[ "$(cat "$tmp/type")" = application/json ] || fail "list: Content-Type '$(cat "$tmp/type")'"
cmp -s "$tmp/body" "$site/list.json" || fail "list: the body differs from list.json"
[ "$(header cache-control)" = "$list_cache" ] || fail "list: Cache-Control '$(header cache-control)'"
etag=$(header etag)
[[ $etag =~ ^\"[^\"]+\"$ ]] || fail "list: ETag '$etag'"

# A cache asking again whether the list changed gets a 304 without a body,
# still with the list's lifetime; any other ETag gets the list.
status=$(request "$base/list" -H "If-None-Match: $etag")
[ "$status" = 304 ] || fail "list with its own ETag: status $status, expected 304"
[ ! -s "$tmp/body" ] || fail "list with its own ETag: a body came with the 304"
[ "$(header cache-control)" = "$list_cache" ] ||
    fail "list with its own ETag: Cache-Control '$(header cache-control)'"
status=$(request "$base/list" -H 'If-None-Match: "other"')
[ "$status" = 200 ] || fail "list with another ETag: status $status, expected 200"

# An installer, byte for byte.
status=$(request "$base/setup?version=2.4.1")
[ "$status" = 200 ] || fail "download: status $status"
[ "$(cat "$tmp/type")" = application/octet-stream ] || fail "download: Content-Type '$(cat "$tmp/type")'"
cmp -s "$tmp/body" "$tmp/build-2.4.1.exe" || fail "download: the body differs from the installer"
[ "$(header cache-control)" = "$installer_cache" ] ||
    fail "download: Cache-Control '$(header cache-control)'"
[ -n "$(header etag)" ] || fail "download: no ETag"

# The rest of an installer, as Orva Setup asks for it after a dropped
# connection: 206 with exactly the bytes from the offset to the end.
status=$(request "$base/setup?version=2.4.1" -H "Range: bytes=100000-")
[ "$status" = 206 ] || fail "rest of the download: status $status"
range=$({ grep -i '^content-range:' "$tmp/headers" || true; } | cut -d' ' -f2- | tr -d '\r\n')
[ "$range" = "bytes 100000-123456/123457" ] || fail "rest of the download: Content-Range '$range'"
tail -c +100001 "$tmp/build-2.4.1.exe" | cmp -s - "$tmp/body" ||
    fail "rest of the download: the body differs from the installer's end"
[ "$(header cache-control)" = "$installer_cache" ] ||
    fail "rest of the download: Cache-Control '$(header cache-control)'"

no_installer="The update service has no installer for this version of Orva."
bad_version="The update service was asked for a version of Orva in a form it does not know."
nothing_here="The update service has nothing at this address."
expect_error "unknown version" 404 "$no_installer" "$base/setup?version=9.9.9"
expect_error "version without its installer" 404 "$no_installer" "$base/setup?version=02.4.1"

# Versions that are not three dot-separated numbers, above all those that
# could reach another file.
for query in "version=../list.json" "version=..%2Flist.json" "version=2.4.1/../../list.json" \
    "version=2.4.1%2F..%2F..%2Flist.json" "version=%2e%2e%2flist.json" "version=2.4.1%00" \
    "version=2.4.1.exe" "version=2.4" "version=2.4.1.0" "version=+2.4.1" "version=" \
    "other=2.4.1" ""; do
    expect_error "version query '$query'" 400 "$bad_version" "$base/setup?$query"
done

expect_error "other path under the base" 404 "$nothing_here" "$base/other"
expect_error "path below the list" 404 "$nothing_here" "$base/list/x"
expect_error "path outside the base" 404 "$nothing_here" "https://127.0.0.1:$port/list.json"
expect_error "the error pages' own addresses" 404 "$nothing_here" \
    "https://127.0.0.1:$port/orva-error/too-long"
expect_error "address too long" 414 "The request to the update service was too long." \
    "$base/setup?version=$(printf '%09000d' 1)"
expect_error "POST" 405 "The update service only gives files; it does not take any." \
    "$base/list" -X POST -d x
expect_error "plain HTTP" 400 "The update service answers only over HTTPS." \
    "http://127.0.0.1:$port/api/update/list"

mv "$site/list.json" "$tmp/list.json"
expect_error "no list" 404 "The update service has no list of versions at the moment. Try again later." \
    "$base/list"
mv "$tmp/list.json" "$site/list.json"

# A version asked for before it is published is a 404 that nothing keeps
# (checked above); once it is published, it is there, and a cache that asks
# with the old list's ETag gets the new list.
head -c 1000 /dev/urandom >"$tmp/build-2.4.2.exe"
expect_error "version not published yet" 404 "$no_installer" "$base/setup?version=2.4.2"
cp "$tmp/build-2.4.2.exe" "$site/Orva-Setup-2.4.2.exe"
"$tool" sign --key "$tmp/maker.pem" --list "$site/list.json" \
    --installer "$site/Orva-Setup-2.4.2.exe" --version 2.4.2 >/dev/null
status=$(request "$base/setup?version=2.4.2")
[ "$status" = 200 ] || fail "version once published: status $status"
status=$(request "$base/list" -H "If-None-Match: $etag")
[ "$status" = 200 ] || fail "new list with the old ETag: status $status, expected 200"
cmp -s "$tmp/body" "$site/list.json" || fail "new list with the old ETag: not the new list"
[ "$(header etag)" != "$etag" ] || fail "new list: the ETag did not change"
check_error_bodies

# The small setup stays small unless a load test asks for more.
grep -q '^    worker_connections 64;$' "$tmp/prefix/nginx.conf" ||
    fail "nginx.conf: not 64 worker connections by default"

# A malformed setting is refused before nginx starts (were it not, nginx
# would run on until the time-out).
for setting in ORVA_LIMIT_RATE=4x ORVA_LIMIT_RATE=m ORVA_LIMIT_RATE=4mm ORVA_LIMIT_RATE=-1 \
    ORVA_WORKER_CONNECTIONS= ORVA_WORKER_CONNECTIONS=0 ORVA_WORKER_CONNECTIONS=1k \
    ORVA_WORKER_CONNECTIONS=-5; do
    set +e
    env "$setting" timeout 10 "$here/run-local.sh" "$tmp/prefix-setting" 0 "$site" 2>/dev/null
    status=$?
    set -e
    [ "$status" -eq 2 ] || fail "$setting: exit status $status, expected 2"
done

if [ "$failures" -ne 0 ]; then
    echo "nginx error log:" >&2
    cat "$tmp/prefix/error.log" >&2 || true
    echo "$failures checks failed" >&2
    exit 1
fi
echo "update service: every check passed"
