#!/usr/bin/env bash
# Downloads a large signed installer from the local test service through
# download() under Wine (build/windows/download/download_bench.exe), then runs
# again so that the copy is reused, and prints beside it curl's transfer of the
# same file and sha256sum's time over it, and the peak working set.
#   scripts/bench-download.sh [BYTES...]    (default 1073741824, that is 1 GiB)
# Several sizes show whether memory grows with the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("${@:-1073741824}")

cmake --preset windows >/dev/null
cmake --build --preset windows --target download_bench >/dev/null

. tests/server/local-test-server.sh

for bytes in "${sizes[@]}"; do
    service="http://127.0.0.1:$port/update/good/$bytes"
    mkdir -p "$work/temp"
    # The first list request also computes the installer's digest on the
    # server; ask once beforehand so that no run pays for it.
    curl -s -o /dev/null "$service/list"
    read -r got transfer check reuse peak < <(cmake/wine-run.sh \
        build/windows/download/download_bench.exe "$service" "Z:$work/temp" | tr -d '\r')
    [ "$got" = "$bytes" ] || { echo "bench-download.sh: got $got bytes" >&2; exit 1; }
    read -r curl_seconds < <(curl -s -o "$work/curl.bin" -w '%{time_total}\n' \
        "$service/setup?version=2.4.1")
    start=$(date +%s.%N)
    sha256sum "$work/temp/Orva Setup/Orva-Setup-2.4.1.exe" >/dev/null
    sha_seconds=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
    awk -v b="$bytes" -v t="$transfer" -v c="$check" -v r="$reuse" -v p="$peak" \
        -v cs="$curl_seconds" -v ss="$sha_seconds" 'BEGIN {
        mib = 1048576
        printf "installer %.0f MiB\n", b / mib
        printf "  transfer:   download() %7.1f MiB/s (%.2f s)   curl %7.1f MiB/s (%.2f s)   ratio %.2f\n",
               b / mib / t, t, b / mib / cs, cs, cs / t
        printf "  check:      %.2f s after the transfer\n", c
        printf "  reuse run:  %.2f s (list, choice and hash)   sha256sum %.2f s\n", r, ss
        printf "  peak working set: %.1f MiB\n", p / mib
    }'
    rm -rf "$work/temp" "$work/curl.bin"
done
