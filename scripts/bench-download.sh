#!/usr/bin/env bash
# Downloads a large signed installer from the local test service through
# download() under Wine (build/windows/download/download_bench.exe), then runs
# again so that the copy is reused, and holds each figure against what the
# platform itself does in the same run (build/windows/http/platform_bench.exe):
# a bare WinHTTP loop over the same URL that reads into one buffer and writes
# nothing, and the platform's CNG SHA-256 of the same file in 1 MiB pieces.
# curl's transfer and sha256sum's time stay printed as anchors outside Wine.
# Medians of RUNS runs (ORVA_BENCH_RUNS, default 3) for each size.
#   scripts/bench-download.sh [BYTES...]   (default 67108864 1073741824: 64 MiB and 1 GiB)
# Several sizes show whether memory grows with the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("${@:-67108864 1073741824}")
# shellcheck disable=SC2206 # the default is one word of two sizes
sizes=(${sizes[@]})
runs=${ORVA_BENCH_RUNS:-3}

cmake --preset windows >/dev/null
cmake --build --preset windows --target download_bench platform_bench >/dev/null

. tests/server/local-test-server.sh

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds_of() {
    local start
    start=$(date +%s.%N)
    "$@" >/dev/null
    awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }'
}

for bytes in "${sizes[@]}"; do
    service="http://127.0.0.1:$port/update/good/$bytes"
    # The first list request also computes the installer's digest on the
    # server; ask once beforehand so that no run pays for it.
    curl -s -o /dev/null "$service/list"
    : >"$work/figures"
    for _ in $(seq "$runs"); do
        rm -rf "$work/temp" "$work/curl.bin"
        mkdir -p "$work/temp"
        read -r got transfer check reuse peak < <(cmake/wine-run.sh \
            build/windows/download/download_bench.exe "$service" "Z:$work/temp" | tr -d '\r')
        [ "$got" = "$bytes" ] || { echo "bench-download.sh: got $got bytes" >&2; exit 1; }
        installer="$work/temp/Orva Setup/Orva-Setup-2.4.1.exe"
        read -r loop_bytes loop < <(cmake/wine-run.sh build/windows/http/platform_bench.exe \
            loop "$service/setup?version=2.4.1" | tr -d '\r')
        [ "$loop_bytes" = "$bytes" ] || { echo "bench-download.sh: the loop got $loop_bytes" >&2; exit 1; }
        read -r _ cng < <(cmake/wine-run.sh build/windows/http/platform_bench.exe \
            hash "Z:$installer" | tr -d '\r')
        read -r curl_seconds < <(curl -s -o "$work/curl.bin" -w '%{time_total}\n' \
            "$service/setup?version=2.4.1")
        sha=$(seconds_of sha256sum "$installer")
        echo "$transfer $check $reuse $peak $loop $cng $curl_seconds $sha" >>"$work/figures"
    done
    column() { awk -v c="$1" '{ print $c }' "$work/figures" | median; }
    awk -v b="$bytes" -v n="$runs" -v t="$(column 1)" -v c="$(column 2)" -v r="$(column 3)" \
        -v p="$(awk '{ print $4 }' "$work/figures" | sort -g | tail -n 1)" \
        -v l="$(column 5)" -v h="$(column 6)" -v cs="$(column 7)" -v ss="$(column 8)" 'BEGIN {
        mib = 1048576
        printf "installer %.0f MiB, medians of %d runs\n", b / mib, n
        printf "  transfer:   download() %7.1f MiB/s (%.2f s)   bare WinHTTP loop %7.1f MiB/s (%.2f s)   %.2f x the loop\n",
               b / mib / t, t, b / mib / l, l, l / t
        printf "  check:      %.2f s after the transfer\n", c
        printf "  end to end: %.2f s from \"Downloading\" to the ready installer   %.2f x the bare loop\n",
               t + c, (t + c) / l
        printf "  reuse run:  %.2f s (list, choice and hash)   CNG hash %.2f s   %.2f x the CNG hash\n",
               r, h, h / r
        printf "  anchors:    curl %.1f MiB/s (%.2f s)   sha256sum %.2f s\n", b / mib / cs, cs, ss
        printf "  peak working set: %.1f MiB (largest of the runs)\n", p / mib
    }'
done
