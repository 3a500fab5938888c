#!/usr/bin/env bash
# Builds the release of Orva-Setup.exe for a release key, signs it with the
# maker's code-signing certificate and writes what is published to dist/:
#
#   scripts/release.sh --public-key HEX CERTIFICATE [OPTIONS]
#
#   --public-key HEX      the release key's public half, the 128 hexadecimal
#                         digits that 'orva-release keygen' printed
#   CERTIFICATE           --pkcs12 FILE.p12, or --pkcs11-module MODULE.so
#                         --key URI --certs CHAIN.pem [--pkcs11-engine ENGINE.so]
#                         for a key in a hardware token; its password or PIN
#                         from --password-file FILE or ORVA_CODESIGN_PASSWORD
#   --timestamp-url URL, --product-url URL, --ca-file FILE, --tsa-ca-file FILE
#                         as scripts/sign-setup.sh describes
#   --release-folder DIR  the folder the update service serves (list.json and
#                         the installers): checked with 'orva-release verify
#                         --program' against the program just built, so that
#                         a list signed with another key stops the release
#   --build-dir DIR       the build tree (default build/release)
#   --dist DIR            where the release goes (default dist)
#
# dist/ then holds exactly:
#   Orva-Setup.exe            the signed program, to publish
#   Orva-Setup-unsigned.exe   the same before signing; anyone who builds the
#                             same commit with the same key gets these bytes
#   SHA256SUMS                of the signed program, the file published with it
#                             (sha256sum -c SHA256SUMS where it is published)
#   BUILDINFO                 the commit, whether the tree was clean, the
#                             release key's fingerprint, the unsigned program's
#                             SHA-256, the tools' versions
# Each is readable by everyone (0644), as a web server must read them.
#
# The certificate and its password are checked before the build starts. The
# release is put together in a folder beside dist/ and takes dist/'s place
# only when complete: on any failure dist/ stays as it was. A dist/ holding
# files other than these four is refused rather than replaced.
set -euo pipefail

me=release.sh
die() {
    printf '%s: %s\n' "$me" "$*" >&2
    exit 1
}
root=$(cd "$(dirname "$0")/.." && pwd)

public_key=""
release_folder=""
build=$root/build/release
dist=$root/dist
sign_options=()
while [ $# -gt 0 ]; do
    case $1 in
        --help | -h)
            sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
            exit 0
            ;;
        --public-key | --release-folder | --build-dir | --dist)
            [ $# -ge 2 ] && [ -n "$2" ] || die "$1 needs a value"
            case $1 in
                --public-key) public_key=$2 ;;
                --release-folder) release_folder=$2 ;;
                --build-dir) build=$2 ;;
                --dist) dist=$2 ;;
            esac
            shift 2
            ;;
        --pkcs12 | --pkcs11-module | --pkcs11-engine | --key | --certs | --password-file | \
            --timestamp-url | --product-url | --ca-file | --tsa-ca-file)
            [ $# -ge 2 ] && [ -n "$2" ] || die "$1 needs a value"
            sign_options+=("$1" "$2")
            shift 2
            ;;
        *) die "unknown option $1 (see $0 --help)" ;;
    esac
done

[ -n "$public_key" ] || die "give the release key's public half: --public-key HEX ('orva-release keygen' printed it)"
[[ $public_key =~ ^[0-9a-fA-F]{128}$ ]] ||
    die "--public-key must be 128 hexadecimal digits (X then Y, as 'orva-release keygen' prints it); got ${#public_key} characters"
public_key=${public_key,,}
test_key=$(tr -d '[:space:]' <"$root/tests/data/keys/test-release-key.TEST-ONLY.pub.hex")
[ "$public_key" != "${test_key,,}" ] ||
    die "--public-key is the TEST-ONLY key from tests/data/keys, whose private half is public; use your own"

if [ -n "$release_folder" ]; then
    [ -f "$release_folder/list.json" ] || die "the release folder $release_folder has no list.json"
fi

# Paths as absolute names: the build runs from the source folder.
absolute() { case $1 in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }
build=$(absolute "$build")
dist=$(absolute "$dist")
dist=${dist%/}
dist_parent=$(dirname "$dist")
[ -d "$dist_parent" ] || die "the folder $dist_parent for --dist does not exist"
products=(Orva-Setup.exe Orva-Setup-unsigned.exe SHA256SUMS BUILDINFO)
if [ -e "$dist" ]; then
    [ -d "$dist" ] || die "$dist exists and is not a folder"
    for entry in "$dist"/* "$dist"/.[!.]*; do
        [ -e "$entry" ] || continue
        name=$(basename "$entry")
        [[ " ${products[*]} " == *" $name "* ]] ||
            die "$dist holds $name, which does not belong to a release; give an empty or new folder with --dist"
    done
fi

for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-ld sha256sum git; do
    command -v "$tool" >/dev/null || die "$tool is not installed (scripts/install-deps.sh installs it)"
done

# Whether the tree is clean, asked before anything of this run is made in it
# (a dist/ inside the checkout gets its staging folder beside it).
commit=$(git -C "$root" rev-parse HEAD 2>/dev/null || echo unknown)
if [ -z "$(git -C "$root" status --porcelain --untracked-files=normal 2>/dev/null)" ]; then
    tree=clean
else
    tree="modified (uncommitted changes; this release cannot be rebuilt from the commit alone)"
    echo "$me: warning: the source tree has uncommitted changes" >&2
fi

echo "==> Checking the code-signing certificate"
"$root/scripts/sign-setup.sh" --check "${sign_options[@]}" || exit 1

echo "==> Building Orva-Setup.exe in $build"
mkdir -p "$build"
log=$build/release-build.log
if ! "$root/scripts/build-setup.sh" "$build" "$public_key" >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    die "the build failed; its log is $log"
fi
unsigned=$build/Orva-Setup.exe

if [ -n "$release_folder" ]; then
    echo "==> Checking $release_folder with the key the program carries"
    tool_build=$build/tool
    if ! { cmake -S "$root" -B "$tool_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DORVA_BUILD_TESTS=OFF && cmake --build "$tool_build" --target orva-release; } \
        >"$build/tool-build.log" 2>&1; then
        tail -n 30 "$build/tool-build.log" >&2
        die "building orva-release failed; its log is $build/tool-build.log"
    fi
    if ! "$tool_build/tools/release/orva-release" verify --list "$release_folder/list.json" \
        --program "$unsigned" --installers "$release_folder" >"$build/verify.log" 2>&1; then
        cat "$build/verify.log" >&2
        die "the release folder $release_folder does not verify with the key this program carries; nothing was written to $dist"
    fi
    sed 's/^/    /' "$build/verify.log"
fi

# The release is put together here, beside dist/ so that it moves into place
# with a rename.
stage=$(mktemp -d "$dist_parent/.$(basename "$dist").new.XXXXXX")
old=""
trap 'rm -rf "$stage"; [ -z "$old" ] || rm -rf "$old"' EXIT
cp "$unsigned" "$stage/Orva-Setup-unsigned.exe"

echo "==> Signing"
"$root/scripts/sign-setup.sh" --in "$stage/Orva-Setup-unsigned.exe" --out "$stage/Orva-Setup.exe" \
    "${sign_options[@]}" >"$stage/sign.log" || exit 1
subject=$(sed -n 's/^certificate: //p' "$stage/sign.log")
rm "$stage/sign.log"

(cd "$stage" && sha256sum Orva-Setup.exe >SHA256SUMS)

# The fingerprint that names the key: SHA-256 of its 64 bytes.
fingerprint=$("$root/scripts/key-fingerprint.sh" "$public_key")
{
    echo "commit: $commit"
    echo "tree: $tree"
    echo "release key fingerprint: $fingerprint (SHA-256 of the 64 key bytes)"
    echo "release key: $public_key"
    echo "unsigned program sha256: $(sha256sum "$stage/Orva-Setup-unsigned.exe" | cut -d ' ' -f 1) (Orva-Setup-unsigned.exe; a build of this commit with this key gives it)"
    echo "signed by: $subject"
    echo "source date: $(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0) (SOURCE_DATE_EPOCH)"
    echo "compiler: $(x86_64-w64-mingw32-g++-posix --version | head -n 1)"
    echo "binutils: $(x86_64-w64-mingw32-ld --version | head -n 1)"
    echo "cmake: $(cmake --version | head -n 1)"
    echo "osslsigncode: $("${OSSLSIGNCODE:-osslsigncode}" --version 2>&1 | head -n 1 | sed 's/, using:$//')"
} >"$stage/BUILDINFO"

# dist/ is replaced by the finished release. Between the two renames dist/
# is briefly absent, never incomplete.
if [ -e "$dist" ]; then
    old=$(mktemp -d "$dist_parent/.$(basename "$dist").old.XXXXXX")
    mv "$dist" "$old/"
fi
# Published files are for everyone to read; mktemp made the folder private.
chmod 644 "$stage"/*
mv "$stage" "$dist"
chmod 755 "$dist"
stage=""

echo "==> $dist"
for name in Orva-Setup-unsigned.exe Orva-Setup.exe; do
    printf '    %-24s %8s bytes  sha256 %s\n' "$name" "$(stat -c %s "$dist/$name")" \
        "$(sha256sum "$dist/$name" | cut -d ' ' -f 1)"
done
echo "    signed by: $subject"
echo "    release key fingerprint: $fingerprint"
