#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, skipping those
# already present: a second run costs nothing and asks no package server.
set -euo pipefail

packages=(
    # Native build, sanitizers and fuzzing
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev libgtest-dev googletest libssl-dev
    # Windows build and its tests
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth
    # The local HTTP(S) test server, its certificates and its network namespace;
    # curl is the benchmarks' yardstick; nginx is the reference update service,
    # and wrk puts it under load in scripts/bench-service.sh
    python3 openssl ca-certificates iproute2 curl nginx-light wrk
    # The demonstration's screenshots (import)
    imagemagick
    # Authenticode signing of a release (scripts/release.sh); its tests sign
    # with a key in a software PKCS#11 token as well
    osslsigncode softhsm2 libengine-pkcs11-openssl
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^ii'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
