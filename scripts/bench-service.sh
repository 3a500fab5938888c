#!/usr/bin/env bash
# Puts the reference update service under load on this machine and prints
# what it gave: nginx as service/run-local.sh runs it (HTTPS with a
# throw-away certificate, as the service really runs, or plain HTTP with
# ORVA_BENCH_SCHEME=http) on a free port of 127.0.0.1, on a releases folder
# signed by orva-release, and wrk as the clients:
#
#   1. the list, from 1,000 connections at once: requests per second and
#      latency;
#   2. an installer of INSTALLER_BYTES (default 16777216, 16 MiB), downloaded
#      whole again and again by 100 connections at once: MB/s, and how long
#      one download took.
#
#   scripts/bench-service.sh [INSTALLER_BYTES]
#
# Each phase runs ORVA_BENCH_SECONDS (default 15). Errors are counted on both
# sides: wrk's failed connections, reads, writes and time-outs, and every
# answer in nginx's access log that is not 2xx. Any of them makes the script
# fail after printing. nginx is one process and wrk two threads on the same
# machine, so they share its cores: the figures are the service and the
# clients together, an upper bound that no network has taken from.
set -euo pipefail
cd "$(dirname "$0")/.."
installer_bytes=${1:-16777216}
seconds=${ORVA_BENCH_SECONDS:-15}
scheme=${ORVA_BENCH_SCHEME:-https}
list_connections=1000
installer_connections=100
case $scheme in
    https | http) ;;
    *) echo "bench-service.sh: ORVA_BENCH_SCHEME must be https or http, not '$scheme'" >&2; exit 2 ;;
esac
command -v wrk >/dev/null || { echo "bench-service.sh: wrk is missing; run scripts/install-deps.sh" >&2; exit 1; }

cmake --preset native >/dev/null
cmake --build --preset native --target orva-release >/dev/null
tool=build/native/tools/release/orva-release

work=$(mktemp -d)
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill -TERM "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# nginx holds every client connection and its listening one, and a closed
# one until it has seen the close; short of free ones, it closes idle
# keep-alive connections under the clients' feet ("worker_connections are
# not enough"), which wrk counts as read errors. So twice the clients. Each
# connection needs a file descriptor, and so does each installer being sent;
# wrk, started from this shell, needs one per connection too.
worker_connections=$((2 * list_connections))
descriptors=$((2 * worker_connections + 64))
if [ "$(ulimit -n)" != unlimited ] && [ "$(ulimit -n)" -lt "$descriptors" ]; then
    ulimit -n "$descriptors" 2>/dev/null || {
        echo "bench-service.sh: needs $descriptors open files, but the limit is $(ulimit -n) (hard: $(ulimit -Hn))" >&2
        exit 1
    }
fi

# The releases folder, as a maker publishes it: two releases, the newest
# being the one downloaded.
site=$work/site
mkdir -p "$site"
"$tool" keygen --out "$work/maker.pem" >/dev/null 2>&1
head -c 1000000 /dev/urandom >"$site/Orva-Setup-2.4.0.exe"
head -c "$installer_bytes" /dev/urandom >"$site/Orva-Setup-2.4.1.exe"
for version in 2.4.0 2.4.1; do
    "$tool" sign --key "$work/maker.pem" --list "$site/list.json" \
        --installer "$site/Orva-Setup-$version.exe" --version "$version" >/dev/null
done

server_files=()
if [ "$scheme" = https ]; then
    service/make-test-cert.sh "$work/tls"
    server_files=("$work/tls/server.pem" "$work/tls/server.key")
fi
for attempt in 1 2 3; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    ORVA_WORKER_CONNECTIONS=$worker_connections service/run-local.sh "$work/prefix" "$port" "$site" \
        "${server_files[@]}" 2>"$work/nginx.stderr" &
    nginx_pid=$!
    for _ in $(seq 100); do
        kill -0 "$nginx_pid" 2>/dev/null || break
        curl -sk --noproxy '*' -o /dev/null "$scheme://127.0.0.1:$port/" 2>/dev/null && break 2
        sleep 0.1
    done
    kill -TERM "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
    echo "bench-service.sh: nginx did not start on port $port (attempt $attempt)" >&2
    cat "$work/nginx.stderr" >&2
done
[ -n "$nginx_pid" ] || exit 1
base=$scheme://127.0.0.1:$port/api/update
curl -sfk --noproxy '*' -o /dev/null "$base/list" || { echo "bench-service.sh: no list at $base/list" >&2; exit 1; }

# wrk's own summary in exact numbers (its printed one rounds): duration in
# microseconds, requests, bytes, the four kinds of socket errors, answers
# with a status above 399, and latency percentiles in milliseconds.
cat >"$work/summary.lua" <<'END'
done = function(summary, latency, requests)
    local e = summary.errors
    io.write(string.format("summary %d %d %d %d %d %d %d %d %.2f %.2f\n", summary.duration,
        summary.requests, summary.bytes, e.connect, e.read, e.write, e.timeout, e.status,
        latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end
END

failed=0
access_log=$work/prefix/access.log
# load NAME CONNECTIONS TIMEOUT URL: runs wrk and leaves its figures in
# $work/NAME.summary and the statuses nginx logged meanwhile in
# $work/NAME.statuses ("count status" lines).
load() {
    local name=$1 connections=$2 timeout=$3 url=$4
    local logged
    logged=$(wc -l <"$access_log")
    wrk --threads 2 --connections "$connections" --duration "${seconds}s" --timeout "$timeout" \
        --script "$work/summary.lua" "$url" >"$work/$name.wrk"
    # wrk has closed its connections; let nginx log the last answers.
    sleep 1
    tail -n +"$((logged + 1))" "$access_log" | awk '{ print $9 }' | sort | uniq -c >"$work/$name.statuses"
    grep '^summary ' "$work/$name.wrk" | cut -d' ' -f2- >"$work/$name.summary"
}

# report NAME WHAT: prints one phase (requests per second for the list, the
# bytes per second for the installer); counts a failure when anything went
# wrong on either side.
report() {
    local name=$1 what=$2
    local duration requests bytes connect read write timeout status p50 p99
    read -r duration requests bytes connect read write timeout status p50 p99 <"$work/$name.summary"
    local non2xx logged
    non2xx=$(awk '$2 !~ /^2/ { n += $1 } END { print n + 0 }' "$work/$name.statuses")
    logged=$(awk '{ n += $1 } END { print n + 0 }' "$work/$name.statuses")
    awk -v name="$name" -v what="$what" -v d="$duration" -v r="$requests" -v b="$bytes" \
        -v p50="$p50" -v p99="$p99" 'BEGIN {
        s = d / 1e6
        printf "%s\n", what
        if (name == "list") {
            printf "  %.0f requests/s   latency p50 %.1f ms, p99 %.1f ms   (%d answers in %.1f s, %.1f MB/s)\n",
                   r / s, p50, p99, r, s, b / s / 1e6
        } else {
            printf "  %.1f MB/s (%.1f MiB/s) in all   %d whole downloads in %.1f s, each p50 %.2f s, p99 %.2f s\n",
                   b / s / 1e6, b / s / 1048576, r, s, p50 / 1000, p99 / 1000
        }
    }'
    echo "  errors: wrk connect $connect, read $read, write $write, timeout $timeout, status >= 400 $status;" \
        "nginx logged $logged answers, $non2xx not 2xx ($(tr -s ' ' <"$work/$name.statuses" | paste -sd, | sed 's/^ //; s/,/, /g'))"
    if [ $((connect + read + write + timeout + status + non2xx)) -ne 0 ]; then
        echo "  FAILED: there were errors; the end of nginx's error log:" >&2
        tail -n 5 "$work/prefix/error.log" | sed 's/^/    /' >&2
        failed=1
    fi
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
load list "$list_connections" 10s "$base/list"
load installer "$installer_connections" 300s "$base/setup?version=2.4.1"

what="HTTPS (TLS 1.2/1.3, P-256 certificate)"
[ "$scheme" = https ] || what="plain HTTP (files sent with sendfile, nothing encrypted)"
mib=$(awk -v b="$installer_bytes" 'BEGIN { printf "%.0f", b / 1048576 }')
echo "update service over $what on 127.0.0.1"
echo "  nginx $(nginx -v 2>&1 | sed 's|.*/||') as run-local.sh runs it (one process), wrk with 2 threads, $(nproc) cores shared; ${seconds} s a phase"
echo "  load average when the run began: $load_before (anything else running takes from both)"
report list "list ($(stat -c %s "$site/list.json") bytes), $list_connections connections"
report installer "installer ($mib MiB, whole downloads), $installer_connections connections"
exit "$failed"
