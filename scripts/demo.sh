#!/usr/bin/env bash
# The demonstration: Orva Setup, built with a demo release key, downloads,
# checks and starts a signed release from the reference update service on this
# machine (Debian 12; installs the Debian packages it needs first):
#
#   bash scripts/demo.sh
#
#   1. installs missing Debian packages (scripts/install-deps.sh);
#   2. builds orva-release (build/native) and, in build/demo/windows,
#      Orva-Setup.exe with the public half of a demo key (build/demo/demo-key.pem)
#      plus the demo installer and the window driver (demo/);
#   3. publishes the demo installer as signed release 2.4.1 into a releases
#      folder (build/demo/site), padded to 24 MiB;
#   4. starts Orva-Setup.exe under Wine (on $DISPLAY, or on a virtual display)
#      with ORVA_UPDATE_URL pointing at 127.0.0.1 where no service runs yet:
#      the failure screen;
#   5. starts the update service (service/run-local.sh: nginx on 127.0.0.1,
#      HTTPS with a throw-away certificate authority, answers slowed down to
#      6 MiB/s so that the download takes about four seconds to watch) and
#      presses "Try Again":
#      the download with its progress bar, then the demo installer starts and
#      Orva Setup ends with exit code 0.
#
# Screenshots of the three screens go to build/demo/screenshots/. Everything it
# starts (nginx, the virtual display, the Wine processes of its own prefix
# build/demo/wineprefix) is stopped when it ends, however it ends.
#
# HTTPS needs root: the test authority is trusted only inside a private mount
# namespace, where the system's certificate bundle (which Wine's WinHTTP reads)
# is replaced by a copy with the authority added. The machine's trust store is
# never changed. Without root the demo says so and uses plain HTTP.
#
# ORVA_DEMO_PAUSE (seconds; default 2 on your display, 0 on the virtual one)
# is how long the first and last screens stay before the demo moves on.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

version=2.4.1
# The download: 24 MiB at 6 MiB/s (nginx's limit_rate).
installer_size=24M
rate_limit=6m
rate_text="6 MiB/s"
demo=$root/build/demo
run=$demo/run
site=$demo/site
shots=$demo/screenshots
windows_build=$demo/windows
tool=$root/build/native/tools/release/orva-release
setup_exe=$windows_build/Orva-Setup.exe
control_exe=$windows_build/demo/orva-demo-control.exe
installer_exe=$windows_build/demo/orva-demo-installer.exe
export WINEPREFIX=$demo/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts when the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Seconds since the start, across both stages.
export ORVA_DEMO_STARTED=${ORVA_DEMO_STARTED:-$(date +%s)}
elapsed() { echo $(($(date +%s) - ORVA_DEMO_STARTED)); }
step() { printf '\n==> [%ss] %s\n' "$(elapsed)" "$*"; }
say() { printf '    %s\n' "$*"; }
die() {
    printf 'demo.sh: %s\n' "$*" >&2
    exit 1
}

# ---------------------------------------------------------------------------
# Stage 2: the run itself, inside the mount namespace when there is one.
# Called as: demo.sh --run SCHEME (https or http).
# ---------------------------------------------------------------------------
run_demo() {
    local scheme=$1 pause
    # Globals, not locals: the exit trap runs after this function has returned.
    nginx_pid=""
    xvfb_pid=""
    setup_pid=""

    cleanup() {
        local status=$?
        trap - EXIT INT TERM
        if [ -n "$nginx_pid" ]; then
            kill -TERM "$nginx_pid" 2>/dev/null || true
            wait "$nginx_pid" 2>/dev/null || true
        fi
        # Ends every Wine process of the demo's prefix: Orva Setup if it still
        # runs, the demo installer, Wine's own services and the server.
        wineserver -k 2>/dev/null || true
        if [ -n "$setup_pid" ]; then
            wait "$setup_pid" 2>/dev/null || true
        fi
        if [ -n "$xvfb_pid" ]; then
            kill -TERM "$xvfb_pid" 2>/dev/null || true
            wait "$xvfb_pid" 2>/dev/null || true
        fi
        case $status in
            0) ;;
            130 | 143) printf 'demo.sh: stopped; everything it started has ended\n' >&2 ;;
            *) printf 'demo.sh: the demo failed; its logs are in %s\n' "$run" >&2 ;;
        esac
        exit "$status"
    }
    trap cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    if [ "$scheme" = https ]; then
        # This process and everything it starts see the test authority as
        # trusted; the rest of the machine does not.
        cat /etc/ssl/certs/ca-certificates.crt "$run/tls/ca.pem" >"$run/ca-bundle.pem"
        mount --bind "$run/ca-bundle.pem" /etc/ssl/certs/ca-certificates.crt
    fi

    step "Display"
    if [ -n "${DISPLAY:-}" ]; then
        say "Using your display $DISPLAY: the windows open there."
        pause=${ORVA_DEMO_PAUSE:-2}
    else
        # -displayfd picks a free display number and writes it once the
        # server accepts connections. The file is emptied here, before the
        # background start opens it.
        : >"$run/xvfb.display"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/xvfb.display" \
            >"$run/xvfb.log" 2>&1 &
        xvfb_pid=$!
        local tries=0
        until [ -s "$run/xvfb.display" ]; do
            kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb did not start; see $run/xvfb.log"
            tries=$((tries + 1))
            [ "$tries" -le 200 ] || die "Xvfb did not start within 20 s"
            sleep 0.1
        done
        export DISPLAY=":$(head -n 1 "$run/xvfb.display")"
        say "No \$DISPLAY: started a virtual display (Xvfb $DISPLAY, 1024x768); see the screenshots."
        pause=${ORVA_DEMO_PAUSE:-0}
    fi

    step "Wine prefix $WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "Creating it (once, about 10 s)..."
        wineboot --init >"$run/wineboot.log" 2>&1 || true
    fi
    # Wine draws the window frames itself, whether or not a window manager
    # runs (under Xvfb none does), so the screenshots show the title bar.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >"$run/wine-reg.log" 2>&1 || die "could not set up the Wine prefix; see $run/wine-reg.log"
    # A copy of the installer left by an earlier run would be reused without
    # a download (the program checks it and takes it).
    rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/"Orva Setup"*
    say "Ready; no downloaded installer left from an earlier run."

    local port url
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    url=$scheme://127.0.0.1:$port/api/update
    local marker=$run/installer-started.txt
    rm -f "$marker"

    step "Orva Setup, while the update service is not running yet"
    say "ORVA_UPDATE_URL=$url"
    # The demo installer writes its path here when it starts (a Windows path).
    local marker_windows="Z:${marker//\//\\}"
    ORVA_UPDATE_URL=$url ORVA_DEMO_MARKER=$marker_windows \
        wine "$setup_exe" >"$run/orva-setup.log" 2>&1 &
    setup_pid=$!
    control wait-failure 60000 || die "the failure screen did not appear"
    report
    screenshot 1-failure.png
    sleep "$pause"

    step "Starting the update service (nginx) on 127.0.0.1:$port"
    local curl_options=(-sS --noproxy '*' -o /dev/null)
    local tls=()
    if [ "$scheme" = https ]; then
        tls=("$run/tls/server.pem" "$run/tls/server.key")
        curl_options+=(--cacert "$run/tls/ca.pem")
    fi
    ORVA_LIMIT_RATE=$rate_limit service/run-local.sh "$run/nginx" "$port" "$site" "${tls[@]}" \
        2>"$run/nginx.stderr" &
    nginx_pid=$!
    local ready=""
    for _ in $(seq 100); do
        kill -0 "$nginx_pid" 2>/dev/null || break
        if curl "${curl_options[@]}" "$url/list" 2>/dev/null; then
            ready=1
            break
        fi
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        cat "$run/nginx.stderr" >&2 || true
        die "nginx did not start on port $port (taken by another program since it was chosen?); run the demo again"
    fi
    say "$url/list answers, at most $rate_text (logs in $run/nginx/)."

    step "Pressing \"Try Again\""
    control press-try-again || die "could not press \"Try Again\""
    control wait-progress 60000 || die "no download progress was seen"
    report
    screenshot 2-download.png

    step "The download completes and is checked; the installer starts"
    control wait-installer 120000 || die "the demo installer did not start"
    report
    screenshot 3-installer.png
    [ -s "$marker" ] || die "the demo installer's window is shown, but it wrote no $marker"
    say "The demo installer recorded: $(cat "$marker")"
    local setup_status=0
    wait "$setup_pid" || setup_status=$?
    setup_pid=""
    [ "$setup_status" -eq 0 ] || die "Orva-Setup.exe ended with exit code $setup_status, not 0"
    say "Orva-Setup.exe has ended with exit code 0; the installer runs on alone."
    sleep "$pause"
    control close-installer >/dev/null || true

    step "Done in $(elapsed) s"
    say "Screenshots:"
    local shot
    for shot in 1-failure.png 2-download.png 3-installer.png; do
        say "  $shots/$shot"
    done
    say "Logs: $run/"
}

# control COMMAND [ARGUMENTS]: runs the window driver in the demo's Wine
# session; what it prints is kept in $run/control.out. Its output goes to a
# file, not a pipe: a Wine process may leave Wine's services holding a pipe.
control() {
    local status=0
    wine "$control_exe" "$@" >"$run/control.out" 2>"$run/control.err" </dev/null || status=$?
    if [ "$status" -ne 0 ]; then
        report
    fi
    return "$status"
}

# Says what the window showed at the last wait.
report() {
    local key text
    while IFS=' ' read -r key text; do
        case $key in
            status) if [ -n "$text" ]; then say "The window says: \"$text\""; fi ;;
            detail) if [ -n "$text" ]; then say "                 \"$text\""; fi ;;
        esac
    done <"$run/control.out"
}

# screenshot NAME: the window of the last wait, as a PNG in $shots.
screenshot() {
    local geometry
    geometry=$(awk '$1 == "geometry" { print $2 }' "$run/control.out")
    [ -n "$geometry" ] || die "no window rectangle to take a screenshot of"
    import -window root -crop "$geometry" +repage "$shots/$1" 2>"$run/import.log" ||
        die "the screenshot failed; see $run/import.log"
    say "Screenshot: $shots/$1"
}

if [ "${1:-}" = --run ]; then
    run_demo "$2"
    exit 0
fi

# ---------------------------------------------------------------------------
# Stage 1: packages, builds, the release and the certificate.
# ---------------------------------------------------------------------------
step "Debian packages (scripts/install-deps.sh)"
scripts/install-deps.sh || die "installing the Debian packages failed"
say "All present."

mkdir -p "$demo"
step "Building orva-release, the maker's release tool (build/native)"
if [ ! -f build/native/CMakeCache.txt ]; then
    cmake --preset native >"$demo/native-configure.log" 2>&1 ||
        die "configuring build/native failed; see $demo/native-configure.log"
fi
cmake --build --preset native --target orva-release >"$demo/native-build.log" 2>&1 ||
    die "building orva-release failed; see $demo/native-build.log"
say "$tool"

step "The demo release key (build/demo/demo-key.pem)"
if [ -s "$demo/demo-key.pem" ] && [ -s "$demo/demo-key.hex" ]; then
    say "Using the key an earlier run made."
else
    rm -f "$demo/demo-key.pem" "$demo/demo-key.hex"
    "$tool" keygen --out "$demo/demo-key.pem" >"$demo/demo-key.hex" 2>/dev/null ||
        die "orva-release keygen failed"
    say "Made a new key with orva-release keygen."
fi
public_key=$(cat "$demo/demo-key.hex")
say "Public key: $public_key"

step "Building Orva-Setup.exe with the demo key, the demo installer and the window driver (build/demo/windows)"
cmake --preset windows -B "$windows_build" -DORVA_BUILD_TESTS=OFF \
    -DORVA_RELEASE_PUBLIC_KEY="$public_key" >"$demo/windows-configure.log" 2>&1 ||
    die "configuring $windows_build failed; see $demo/windows-configure.log"
cmake --build "$windows_build" --target Orva-Setup orva-demo-installer orva-demo-control \
    >"$demo/windows-build.log" 2>&1 || die "the Windows build failed; see $demo/windows-build.log"
say "$setup_exe ($(stat -c %s "$setup_exe") bytes)"

step "Publishing the demo installer as signed release $version (build/demo/site)"
rm -rf "$site" "$run"
mkdir -p "$site" "$run" "$shots"
rm -f "$shots"/*.png
published=$site/Orva-Setup-$version.exe
cp "$installer_exe" "$published"
# Zeros after the end of the program change nothing in how it runs; they make
# the download long enough to watch.
truncate -s "$installer_size" "$published"
printf 'A demonstration release of the Orva installer.\n' >"$run/notes.txt"
"$tool" sign --key "$demo/demo-key.pem" --list "$site/list.json" --installer "$published" \
    --version "$version" --notes-file "$run/notes.txt" >"$run/sign.log" 2>&1 ||
    die "orva-release sign failed; see $run/sign.log"
"$tool" verify --list "$site/list.json" --key "$demo/demo-key.pem" --installers "$site" \
    >"$run/verify.log" 2>&1 || die "orva-release verify failed; see $run/verify.log"
say "$published ($(stat -c %s "$published") bytes), signed into $site/list.json"

# A Wine server left running from an earlier run would not see the namespace.
wineserver -k 2>/dev/null || true

step "Choosing how to reach the update service"
runner=()
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    service/make-test-cert.sh "$run/tls"
    say "HTTPS, with a throw-away certificate authority (made now in $run/tls) trusted"
    say "only by the demo's processes, in a private mount namespace."
    runner=(unshare --mount --propagation private bash "$0" --run https)
else
    say "NOTE: plain HTTP. Trusting a test certificate authority for the demo alone needs"
    say "root (a private mount namespace over the system's certificate bundle), and this"
    say "script does not change the machine's trust store. Run it as root to see HTTPS."
    runner=(bash "$0" --run http)
fi
# The run stage cleans up after itself when it ends or is stopped. It runs in
# a session of its own, so that Ctrl-C does not reach its processes (nginx,
# Xvfb, Wine) directly and break its story half-way; this script passes
# Ctrl-C and TERM on to it instead, and it stops everything in order.
setsid "${runner[@]}" &
child=$!
stopped_by=""
trap 'stopped_by=130; kill -TERM "$child" 2>/dev/null || true' INT
trap 'stopped_by=143; kill -TERM "$child" 2>/dev/null || true' TERM
# wait returns early when a trapped signal arrives; then wait again for the end.
while :; do
    status=0
    wait "$child" || status=$?
    kill -0 "$child" 2>/dev/null || break
done
exit "${stopped_by:-$status}"
