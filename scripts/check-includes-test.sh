#!/usr/bin/env bash
# Shows that scripts/check-includes.py catches a lower folder including a
# higher one: a tree whose download/ includes app/ must fail, naming the file
# and line, and the same tree without that line must pass.
set -euo pipefail
check="$(dirname "$0")/check-includes.py"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/download" "$tree/app"
printf '#include "app/ui_messages.h"\n' > "$tree/app/window.cpp"
printf '#include "http/http_client.h"\n#include "app/ui_messages.h"\n' > "$tree/download/download.cpp"

if output=$("$check" "$tree" 2>&1); then
    echo "check-includes-test: download/ including app/ was not refused" >&2
    exit 1
fi
grep -q 'download/download.cpp:2: download/ may not include app/' <<<"$output" ||
    { echo "check-includes-test: unexpected report: $output" >&2; exit 1; }

printf '#include "http/http_client.h"\n' > "$tree/download/download.cpp"
"$check" "$tree" || { echo "check-includes-test: a clean tree was refused" >&2; exit 1; }
echo "check-includes-test: passed"
