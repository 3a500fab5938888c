#!/usr/bin/env bash
# key-fingerprint.sh HEX
#
# The fingerprint that names a release key (BUILDINFO, 'orva-release
# public-key', the build's status line): the SHA-256 of the key's 64 bytes,
# given as 128 hexadecimal digits.
set -euo pipefail
[[ ${1:-} =~ ^[0-9a-fA-F]{128}$ ]] || { echo "usage: $0 HEX (128 hexadecimal digits)" >&2; exit 2; }
printf '%b' "$(sed 's/../\\x&/g' <<<"$1")" | sha256sum | cut -d ' ' -f 1
