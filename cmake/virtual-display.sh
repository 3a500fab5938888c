#!/bin/sh
# One virtual X server for a whole test run: virtual-display.sh start|stop DIR
#
# Every Wine process of a run must see the same display. The first Wine
# process of a prefix's session starts the prefix's desktop process, which
# lives as long as the wine server; when that first process ran without a
# display (or on an X server that has since gone), windows of later processes
# cannot be created. So the run starts one server here (a CTest fixture),
# wine-run.sh points every process at it, and the fixture's cleanup stops it.
# Xvfb picks a free display number itself (-displayfd), so parallel runs of
# different build trees do not collide.
set -eu
dir=$2
case $1 in
start)
    mkdir -p "$dir"
    rm -f "$dir/display" "$dir/display.tmp"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$dir/display.tmp" </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/pid"
    # Xvfb writes the number once it accepts clients. A guard against a server
    # that never comes up, not a measure of its speed.
    tries=0
    while [ ! -s "$dir/display.tmp" ]; do
        kill -0 "$(cat "$dir/pid")" 2>/dev/null || { cat "$dir/xvfb.log" >&2; exit 1; }
        tries=$((tries + 1))
        [ "$tries" -lt 600 ] || { echo "virtual-display.sh: Xvfb did not start" >&2; exit 1; }
        sleep 0.1
    done
    echo ":$(head -n 1 "$dir/display.tmp")" >"$dir/display"
    echo "virtual display $(cat "$dir/display")"
    ;;
stop)
    if [ -f "$dir/pid" ]; then
        kill "$(cat "$dir/pid")" 2>/dev/null || true
    fi
    rm -f "$dir/pid" "$dir/display" "$dir/display.tmp"
    ;;
*)
    echo "usage: virtual-display.sh start|stop DIR" >&2
    exit 2
    ;;
esac
