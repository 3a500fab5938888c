#!/bin/sh
# Runs the update service on this machine, in the foreground, until stopped:
#
#   service/run-local.sh PREFIX_DIR PORT RELEASES_DIR [CERT KEY]
#
# nginx listens on 127.0.0.1:PORT (HTTPS with the PEM certificate CERT and its
# key KEY, plain HTTP without them) and serves RELEASES_DIR under the base
# path $ORVA_BASE_PATH (default /api/update):
#
#   https://127.0.0.1:PORT/api/update/list
#   https://127.0.0.1:PORT/api/update/setup?version=2.4.1
#
# PREFIX_DIR (created if needed) receives the configuration, the pid file, the
# logs and nginx's temporary files; nothing is written anywhere else. The
# script becomes the nginx process (exec), so its process id is nginx's: stop
# it with `kill -TERM <pid>`. Refusals and start-up errors go to stderr.
#
# $ORVA_LIMIT_RATE (default: none) slows every answer down to that many bytes
# per second, in nginx's limit_rate form (such as 4m for 4 MiB/s), to stand in
# for a slow connection so that a download can be watched.
#
# $ORVA_WORKER_CONNECTIONS (default 64) is how many connections nginx holds
# at once, the clients' and its own listening ones together. 64 is plenty for
# tests and keeps the process small; a load test raises it, and then needs an
# open-file limit (ulimit -n) of at least twice as many.
set -eu

if [ $# -ne 3 ] && [ $# -ne 5 ]; then
    echo "usage: $0 PREFIX_DIR PORT RELEASES_DIR [CERT KEY]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1/temp"
prefix=$(cd "$1" && pwd)
port=$2
releases=$(cd "$3" && pwd)
base=${ORVA_BASE_PATH-/api/update}
rate=${ORVA_LIMIT_RATE-}
connections=${ORVA_WORKER_CONNECTIONS-64}

case $port in
    '' | *[!0-9]*) echo "$0: the port must be a number, not '$port'" >&2; exit 2 ;;
esac
if ! printf '%s' "$prefix" | grep -Eq '^[A-Za-z0-9._~/+,=@%-]+$'; then
    echo "$0: the prefix folder's path may hold only letters, digits and . _ ~ / + , = @ % -" >&2
    exit 2
fi

case $rate in
    '') ;;
    *[!0-9km]* | [km]* | *[km]?*)
        echo "$0: ORVA_LIMIT_RATE must be a number of bytes per second, optionally with k or m after it, not '$rate'" >&2
        exit 2
        ;;
esac

case $connections in
    '' | *[!0-9]* | 0*)
        echo "$0: ORVA_WORKER_CONNECTIONS must be a whole number above 0, not '$connections'" >&2
        exit 2
        ;;
esac

listen_tls=
tls_settings=
if [ $# -eq 5 ]; then
    cp "$4" "$prefix/server.pem"
    cp "$5" "$prefix/server.key"
    chmod 600 "$prefix/server.key"
    listen_tls=' ssl'
    tls_settings="        ssl_certificate $prefix/server.pem;
        ssl_certificate_key $prefix/server.key;
        ssl_protocols TLSv1.2 TLSv1.3;"
fi

"$here/render-config.sh" "$base" "$releases" >"$prefix/orva-update.conf"
awk -v prefix="$prefix" -v port="$port" -v listen_tls="$listen_tls" -v tls="$tls_settings" \
    -v rate="$rate" -v connections="$connections" '
    { gsub(/@PREFIX@/, prefix); gsub(/@PORT@/, port); gsub(/@LISTEN_TLS@/, listen_tls) }
    { gsub(/@WORKER_CONNECTIONS@/, connections) }
    /^@TLS_SETTINGS@$/ { if (tls != "") print tls; next }
    /^@LIMIT_RATE@$/ { if (rate != "") print "        limit_rate " rate ";"; next }
    { print }
' "$here/nginx.conf.in" >"$prefix/nginx.conf"

exec nginx -p "$prefix" -c "$prefix/nginx.conf"
