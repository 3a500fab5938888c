#!/usr/bin/env bash
# Times Orva-Setup under Wine from its start to its window being shown, next
# to a minimal Win32 window program measured the same way.
#   scripts/bench-startup.sh [RUNS]     (default 10)
# Orva-Setup is pointed at a closed port: its window comes before any answer.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
cmake --preset windows >/dev/null
cmake --build --preset windows --target orva_setup_testkey minimal_window startup_bench >/dev/null
export ORVA_UPDATE_URL=http://127.0.0.1:9/api/update
export ORVA_NEEDS_DISPLAY=1
build=build/windows/tests/blackbox
cmake/wine-run.sh "$build/startup_bench.exe" "$runs" \
    "Z:$PWD/$build/Orva-Setup-testkey.exe" "Z:$PWD/$build/minimal_window.exe"
