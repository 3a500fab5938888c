#!/bin/sh
# Sets the system DPI of the Wine prefix $WINEPREFIX: wine-set-dpi.sh DPI
# Creates the prefix first when needed (through wine-run.sh, under its lock).
# Wine reads the value when a process starts, so only later processes see it.
set -eu
[ -n "${WINEPREFIX:-}" ] || { echo "wine-set-dpi.sh: set WINEPREFIX" >&2; exit 2; }
here=$(dirname "$0")
"$here/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
# The registry lives in the prefix's server, which wine-run.sh keeps alive
# for a while and which writes it back to the prefix's files when it ends:
# later processes see the new value either way. (wineserver -w would wait for
# that lingering server to end.)
