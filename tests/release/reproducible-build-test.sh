#!/usr/bin/env bash
# reproducible-build-test.sh PUBLIC_KEY
#
# Builds Orva-Setup.exe twice with scripts/build-setup.sh, as a release is
# built, and fails unless both have the same SHA-256. The two build trees
# have names of different lengths (one with a space), the builds run one
# after the other and tell the tools different dates (SOURCE_DATE_EPOCH):
# whatever of the folder or the time got into the program would show. It
# also fails when the name of a build or source folder appears in the bytes.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 PUBLIC_KEY" >&2; exit 2; }
key=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

first="$work/first tree"
second="$work/second-build-tree-with-a-longer-name"
build() {
    local tree=$1 date=$2 started
    started=$(date +%s)
    if ! SOURCE_DATE_EPOCH=$date "$root/scripts/build-setup.sh" "$tree" "$key" >"$tree.log" 2>&1; then
        tail -n 40 "$tree.log"
        echo "FAIL: the build in $tree failed"
        exit 1
    fi
    echo "built $tree/Orva-Setup.exe in $(($(date +%s) - started)) s (SOURCE_DATE_EPOCH=$date)"
}
build "$first" 1700000000
build "$second" "$(date +%s)"

status=0
a=$(sha256sum <"$first/Orva-Setup.exe" | cut -d ' ' -f 1)
b=$(sha256sum <"$second/Orva-Setup.exe" | cut -d ' ' -f 1)
echo "first:  $a  $(stat -c %s "$first/Orva-Setup.exe") bytes"
echo "second: $b  $(stat -c %s "$second/Orva-Setup.exe") bytes"
if [ "$a" != "$b" ]; then
    echo "FAIL: the two builds differ; the first differing bytes (offset, octal values):"
    cmp -l "$first/Orva-Setup.exe" "$second/Orva-Setup.exe" | head -n 10 || true
    for tree in "$first" "$second"; do
        x86_64-w64-mingw32-objdump -p "$tree/Orva-Setup.exe" | grep -E '^(Time/Date|CheckSum)' |
            sed "s|^|    $(basename "$tree"): |"
    done
    status=1
fi

# Narrow and UTF-16 strings alike.
for tree in "$first" "$second"; do
    leaks=$( {
        strings -a "$tree/Orva-Setup.exe"
        strings -a -e l "$tree/Orva-Setup.exe"
    } | grep -F -e "$root" -e "$work" -e /work/ -e /tmp/ -e /home/ -e /root/ || true)
    if [ -n "$leaks" ]; then
        echo "FAIL: $tree/Orva-Setup.exe names folders of the machine that built it:"
        printf '    %s\n' "$leaks" | head -n 10
        status=1
    fi
done

[ "$status" -ne 0 ] || echo "PASS: both builds are the same bytes and name no folder"
exit "$status"
