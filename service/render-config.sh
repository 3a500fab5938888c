#!/bin/sh
# Writes the update service's nginx locations for one server block:
#
#   service/render-config.sh BASE_PATH RELEASES_DIR > /etc/nginx/snippets/orva-update.conf
#
# BASE_PATH is the path of the service's base address, such as /api/update
# (empty for the root); RELEASES_DIR is the absolute path of the folder with
# list.json and the installers. Then add `include snippets/orva-update.conf;`
# to the HTTPS server block of the update service's host.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 BASE_PATH RELEASES_DIR" >&2
    exit 2
fi
base=$1
releases=$2

# Both go into nginx's configuration as they stand: allow only characters
# that mean nothing to nginx and need no quoting.
if ! printf '%s' "$base" | grep -Eq '^(/[A-Za-z0-9._~-]+)*$'; then
    echo "$0: the base path must be empty or like /api/update (letters, digits, . _ ~ - between slashes), not '$base'" >&2
    exit 2
fi
case $releases in
    /*) ;;
    *) echo "$0: the releases folder must be an absolute path, not '$releases'" >&2; exit 2 ;;
esac
if ! printf '%s' "$releases" | grep -Eq '^[A-Za-z0-9._~/+,=@%-]+$'; then
    echo "$0: the releases folder's path may hold only letters, digits and . _ ~ / + , = @ % -, not '$releases'" >&2
    exit 2
fi
releases=${releases%/}
if [ -z "$releases" ]; then
    echo "$0: the releases folder cannot be the root folder" >&2
    exit 2
fi

sed -e "s|@BASE_PATH@|$base|g" -e "s|@RELEASES_DIR@|$releases|g" \
    "$(dirname "$0")/orva-update.conf.in"
