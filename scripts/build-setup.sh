#!/usr/bin/env bash
# Builds the shipped Orva-Setup.exe alone, the way a release is built:
#
#   scripts/build-setup.sh BUILD_DIR PUBLIC_KEY
#
# BUILD_DIR is the build tree (made when missing); PUBLIC_KEY the release
# key's public half as 128 hexadecimal digits ('orva-release keygen' prints
# it). The program lands in BUILD_DIR/Orva-Setup.exe.
#
# Two runs from the same commit and key give the same bytes, whatever the
# build tree is called and whenever they run: cmake/OrvaBuild.cmake keeps
# time stamps and folder names out of the executable, and this script keeps
# the caller's environment out of the build (no CFLAGS and the like, which
# CMake would otherwise pick up) and sets SOURCE_DATE_EPOCH to the commit's
# time for any tool that embeds a date.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR PUBLIC_KEY" >&2
    exit 2
fi
build=$1
key=$2
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS CC CXX MAKEFLAGS CMAKE_GENERATOR \
    CMAKE_BUILD_TYPE CMAKE_TOOLCHAIN_FILE
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
export LC_ALL=C TZ=UTC

cmake --preset windows -B "$build" -DORVA_BUILD_TESTS=OFF -DORVA_RELEASE_PUBLIC_KEY="$key"
cmake --build "$build" --target Orva-Setup
