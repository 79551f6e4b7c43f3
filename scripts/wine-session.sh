#!/usr/bin/env bash
# Starts or stops the private test session of a Windows build tree: an Xvfb
# display and a Wine prefix of its own, so that tests never touch the user's
# display or Wine prefix, and one wineserver kept alive for the whole run.
#
#   wine-session.sh start|stop
#
# Reads DISPLAY, WINEPREFIX and WINE (the loader, wine64 or wine) from the
# environment. The prefix is made on first use, quiet and without prompts.
set -euo pipefail

: "${DISPLAY:?}" "${WINEPREFIX:?}" "${WINE:?}"
session_dir=$(dirname "$WINEPREFIX")
number=${DISPLAY#:}
wineserver=$(dirname "$WINE")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEDEBUG=-all

start_display() {
    local lock=/tmp/.X${number}-lock
    if [ -e "$lock" ]; then
        local owner
        owner=$(tr -d ' ' <"$lock")
        if [ -f "$session_dir/xvfb.pid" ] && [ "$owner" = "$(cat "$session_dir/xvfb.pid")" ] &&
            kill -0 "$owner" 2>/dev/null; then
            return 0 # ours, from an earlier run
        fi
        if kill -0 "$owner" 2>/dev/null; then
            echo "wine-session: display $DISPLAY is taken by process $owner" >&2
            exit 1
        fi
        rm -f "$lock" "/tmp/.X11-unix/X${number}"
    fi
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >"$session_dir/xvfb.log" 2>&1 &
    echo $! >"$session_dir/xvfb.pid"
    for _ in $(seq 100); do
        [ -S "/tmp/.X11-unix/X${number}" ] && return 0
        sleep 0.1
    done
    echo "wine-session: Xvfb did not start on $DISPLAY:" >&2
    cat "$session_dir/xvfb.log" >&2
    exit 1
}

# The prefix's settings: no Mono or Gecko installers, no menu entries, no
# crash dialogs, no device services for game controllers; Wine draws the
# window frames itself (with no window manager, closing a managed window
# waits 2 s).
write_settings() {
    cat >"$1" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
"winemenubuilder.exe"=""
"winebus.sys"=""
"wineusb.sys"=""

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
}

# The prefix is keyed to the Wine installation and its settings: one made
# before the 32-bit Wine was installed cannot run 32-bit programs.
wine_identity() {
    "$WINE" --version 2>/dev/null
    dpkg-query -W -f='${Package} ${Version}\n' wine64 wine32:i386 2>/dev/null || true
    write_settings /dev/stdout
}

make_prefix() {
    local identity
    identity=$(wine_identity)
    if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$session_dir/prefix.id" 2>/dev/null)" = "$identity" ]; then
        return 0
    fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$WINE" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
    write_settings "$session_dir/settings.reg"
    "$WINE" regedit /S "$session_dir/settings.reg" >/dev/null 2>&1
    "$wineserver" -w
    echo "$identity" >"$session_dir/prefix.id"
}

case "${1:-}" in
start)
    mkdir -p "$session_dir"
    start_display
    make_prefix
    # One wineserver for the whole run, and Wine's background services
    # started now rather than inside the first test (where they would hold
    # the test runner's output pipe open).
    # (Kept away from our output: whatever stays running must not hold the
    # test runner's pipes. A wineserver left from an earlier run is reused.)
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$session_dir/xvfb.pid" ]; then
        kill "$(cat "$session_dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$session_dir/xvfb.pid"
    fi
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
