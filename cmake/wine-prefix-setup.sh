#!/bin/sh
# Prepares the Wine prefix $WINEPREFIX for tests: wine-prefix-setup.sh [DPI]
# Creates the prefix first when needed (through wine-run.sh, under its lock).
#   - Wine draws the windows' frames itself (Managed=N): with no window
#     manager on the virtual display, Wine otherwise waits about two seconds
#     whenever a window is destroyed.
#   - The system DPI (LogPixels) is DPI, or the default 96 without it.
# Wine reads both when a process starts, so only later processes see them.
# The registry lives in the prefix's server, which wine-run.sh keeps alive for
# a while and which writes it back to the prefix's files when it ends; later
# processes see the new values either way. (wineserver -w would wait for that
# lingering server to end.)
set -eu
[ -n "${WINEPREFIX:-}" ] || { echo "wine-prefix-setup.sh: set WINEPREFIX" >&2; exit 2; }
here=$(dirname "$0")
"$here/wine-run.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
if [ -n "${1:-}" ]; then
    "$here/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
else
    # Absent means 96; the value may be left from an earlier setup.
    "$here/wine-run.sh" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 ||
        true
fi
