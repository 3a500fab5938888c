#!/bin/sh
# Runs one Windows executable under Wine: wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# The prefix is $WINEPREFIX, or build/wineprefix beside the program's build tree
# when unset; it is created on first use (about 8 s), guarded by a lock so that
# tests started in parallel do not race to create it. A wine server that lingers
# for a minute after its last process keeps later starts at about a second.
# Programs that create windows need a display. Under CTest every process uses
# the run's one virtual X server, named in $ORVA_DISPLAY_FILE
# (virtual-display.sh); run by hand without $DISPLAY, a program that needs one
# runs inside a virtual X server of its own.
set -eu

if [ -z "${DISPLAY:-}" ] && [ -n "${ORVA_DISPLAY_FILE:-}" ] && [ -s "$ORVA_DISPLAY_FILE" ]; then
    DISPLAY=$(cat "$ORVA_DISPLAY_FILE")
    export DISPLAY
fi

if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do
        dir=$(dirname "$dir")
    done
    [ "$dir" != / ] || { echo "wine-run.sh: $1 is not inside a build tree; set WINEPREFIX" >&2; exit 2; }
    WINEPREFIX="$dir/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts when the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    flock "$WINEPREFIX/.create.lock" sh -c '
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot --init >/dev/null 2>&1 || true
            wineserver -w
        fi'
fi
wineserver -p60 >/dev/null 2>&1 || true

run() {
    if [ -z "${DISPLAY:-}" ] && [ -n "${ORVA_NEEDS_DISPLAY:-}" ]; then
        xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
    else
        wine "$@"
    fi
}

# The first Wine process of a session starts Wine's own services, which live
# as long as the wine server and inherit the process's output. Were that the
# caller's pipe, the caller (CTest) would wait for the server to end before it
# saw the end of the output; so the program writes to a file that is copied
# out when it ends.
output=$(mktemp)
trap 'rm -f "$output"' EXIT
set +e
run "$@" </dev/null >"$output" 2>&1
status=$?
set -e
cat "$output"
exit "$status"
