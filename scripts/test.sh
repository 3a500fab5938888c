#!/usr/bin/env bash
# Builds everything and runs every test suite:
#   native-asan  the portable code under AddressSanitizer and UBSan
#   fuzz         short smoke runs of the libFuzzer targets
#   windows      the Windows build, its tests under Wine (and Xvfb where needed)
# Installs missing Debian packages first. Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || { echo "test.sh: installing packages failed" >&2; exit 1; }

presets=(native-asan fuzz windows)
for preset in "${presets[@]}"; do
    echo "=== build: $preset"
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" ||
        { echo "test.sh: the $preset build failed" >&2; exit 1; }
done

status=0
echo "=== format"
scripts/check-format.sh || { echo "test.sh: run scripts/check-format.sh --fix" >&2; status=1; }

passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${presets[@]}"; do
    echo "=== test: $preset"
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    # "100% tests passed, 0 tests failed out of 14"
    summary=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        echo "test.sh: ctest printed no summary for $preset" >&2
        status=1
        continue
    fi
    read -r f _ _ _ _ total <<<"$summary"
    failed=$((failed + f))
    passed=$((passed + total - f))
done

# Wine's servers linger a minute after the last test; nothing should outlive the run.
for prefix in build/windows/wineprefix build/windows/wineprefix-*; do
    [ -d "$prefix" ] && WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null || true
done

echo "tests: $passed passed, $failed failed"
exit "$status"
