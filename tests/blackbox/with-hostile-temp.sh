#!/bin/sh
# with-hostile-temp.sh PROGRAM [ARGUMENTS...]
#
# Runs the Windows test program PROGRAM (through cmake/wine-run.sh) with
# temporary folders prepared as an attacker would prepare them, in ways a
# Windows program cannot under Wine (Wine's CreateSymbolicLinkW makes no link,
# and a Wine program owns every file it makes). ORVA_TEST_HOSTILE_TEMP names
# their parent as a Windows path:
#   links/temp/Orva Setup/Orva-Setup-2.4.1.exe       a symbolic link to links/victim-installer
#   links/temp/Orva Setup/Orva-Setup-2.4.1.exe.part  a symbolic link to links/victim-part
#   folder-link/temp/Orva Setup                      a symbolic link to folder-link/own, an
#                                                    empty folder of the user's own
#   foreign/temp/Orva Setup/                         a folder of another user (nobody) holding
#                                                    keep.txt; only as root, absent otherwise
# Everything is removed when the program ends.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

links="$work/links"
mkdir -p "$links/temp/Orva Setup"
printf 'the file a link at the installer name points to' >"$links/victim-installer"
printf 'the file a link at the partial name points to' >"$links/victim-part"
ln -s ../../victim-installer "$links/temp/Orva Setup/Orva-Setup-2.4.1.exe"
ln -s ../../victim-part "$links/temp/Orva Setup/Orva-Setup-2.4.1.exe.part"

mkdir -p "$work/folder-link/temp" "$work/folder-link/own"
ln -s ../own "$work/folder-link/temp/Orva Setup"

if [ "$(id -u)" -eq 0 ]; then
    foreign="$work/foreign/temp/Orva Setup"
    mkdir -p "$foreign"
    printf 'kept' >"$foreign/keep.txt"
    chown -R nobody "$foreign"
fi

ORVA_TEST_HOSTILE_TEMP="Z:$work"
export ORVA_TEST_HOSTILE_TEMP
# Run through tests/server/with-test-server.sh, whose namespaces the prefix's
# wine server must share: one left from an earlier run lives outside them.
wineserver -k 2>/dev/null || true
status=0
"$root/cmake/wine-run.sh" "$@" || status=$?
exit "$status"
