#!/usr/bin/env bash
# The one place that makes a Wine prefix and an X display for the tests, the
# run, screenshot and benchmark commands: a private Xvfb display and a Wine
# prefix of the caller's own, so that nothing touches the user's display or
# Wine prefix, and one wineserver kept alive for the whole session.
#
#   wine-session.sh start    the display on $DISPLAY, the prefix, the wineserver
#   wine-session.sh prefix   the prefix alone (for a window on the user's display)
#   wine-session.sh stop     ends every process of the prefix, and the display
#
# Reads WINEPREFIX, DISPLAY (for start) and ZIRNA_WINE_ARCH (x64 or x86: the
# loader for Wine's own programs) from the environment; ZIRNA_XVFB_SCREEN
# gives the display's size (1024x768x24 unless set), and ZIRNA_XVFB_AUTH an
# X authority file whose cookie the display then requires of every client
# (without one, any user of the machine may connect to it). The prefix is made on
# first use, quiet and without prompts, and only ever appears complete. A
# started session ends by itself when the process that started it (CTest, or
# the command that called this) ends without stopping it.
set -euo pipefail

: "${WINEPREFIX:?}"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine=$here/wine.sh
session_dir=$(dirname "$WINEPREFIX")
export WINEDEBUG=-all

start_display() {
    local number=${DISPLAY#:} lock owner
    lock=/tmp/.X${number}-lock
    if [ -e "$lock" ]; then
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
    Xvfb "$DISPLAY" -screen 0 "${ZIRNA_XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
        ${ZIRNA_XVFB_AUTH:+-auth "$ZIRNA_XVFB_AUTH"} </dev/null >"$session_dir/xvfb.log" 2>&1 &
    echo $! >"$session_dir/xvfb.pid"
    for _ in $(seq 100); do
        [ -S "/tmp/.X11-unix/X${number}" ] && return 0
        sleep 0.1
    done
    echo "wine-session: Xvfb did not start on $DISPLAY:" >&2
    cat "$session_dir/xvfb.log" >&2
    return 1
}

# The prefix's settings: no Mono or Gecko installers, no menu entries, no
# crash dialogs, no device services for game controllers. On a display of
# the session's own, with no window manager, Wine draws the window frames
# itself (a managed window's close waits 2 s there).
write_settings() {
    cat <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
"winemenubuilder.exe"=""
"winebus.sys"=""
"wineusb.sys"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    if [ "$1" = own-display ]; then
        printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    fi
}

# Wine draws the caption buttons with the Marlett font; Wine 8 finds
# Debian's copy only inside the prefix.
readonly Marlett=/usr/share/wine/fonts/marlett.ttf

# What the prefix is made of: the Wine installation (a prefix made before
# the 32-bit Wine was installed cannot run 32-bit programs), its settings
# and fonts.
identity() {
    "$wine" --version 2>/dev/null || true
    dpkg-query -W -f='${Package} ${Version}\n' wine64 wine32:i386 2>/dev/null || true
    write_settings "$1"
    [ -f "$Marlett" ] && echo "marlett"
    return 0
}

# Makes the prefix beside its final place and moves it there once complete,
# so that a run cut short (a time limit, Ctrl-C) leaves no half-made prefix
# that passes for a whole one: the next run starts it afresh.
make_prefix() {
    local kind=$1 wanted fresh
    wanted=$(identity "$kind")
    if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$WINEPREFIX/zirna.id" 2>/dev/null)" = "$wanted" ]; then
        return 0
    fi
    echo "Preparing a Wine prefix in $WINEPREFIX (once, about half a minute) ..." >&2
    fresh=$WINEPREFIX.new
    rm -rf "$fresh"
    mkdir -p "$fresh"
    (
        export WINEPREFIX=$fresh
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$wine" wineboot -i >/dev/null 2>&1
        "$wine" --server -w
        write_settings "$kind" >"$fresh/drive_c/zirna.reg"
        "$wine" regedit /S 'C:\zirna.reg' >/dev/null 2>&1
        "$wine" --server -w
        rm "$fresh/drive_c/zirna.reg"
    )
    if [ -f "$Marlett" ]; then
        cp "$Marlett" "$fresh/drive_c/windows/Fonts/"
    fi
    echo "$wanted" >"$fresh/zirna.id"
    rm -rf "$WINEPREFIX"
    mv "$fresh" "$WINEPREFIX"
}

# The Wine processes of this prefix (Wine passes WINEPREFIX on to all of
# them), by PID.
prefix_processes() {
    local environ pid
    for environ in $(grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        case "$(readlink "/proc/$pid/exe" 2>/dev/null)" in
        */wine*) echo "$pid" ;;
        esac
    done
}

# A watcher of its own process session (out of reach of a Ctrl-C to the
# caller's terminal) stops the session once the starter is gone.
start_watcher() {
    local owner=$1
    if [ -f "$session_dir/watcher.pid" ]; then
        kill "$(cat "$session_dir/watcher.pid")" 2>/dev/null || true
    fi
    setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; exec "$2" stop' \
        watcher "$owner" "$here/wine-session.sh" </dev/null >/dev/null 2>&1 &
    echo $! >"$session_dir/watcher.pid"
}

stop() {
    local pid
    if [ -f "$session_dir/watcher.pid" ]; then
        pid=$(cat "$session_dir/watcher.pid")
        rm -f "$session_dir/watcher.pid"
        [ "$pid" = $$ ] || kill "$pid" 2>/dev/null || true
    fi
    "$wine" --server -k </dev/null >/dev/null 2>&1 || true
    for _ in $(seq 50); do
        [ -n "$(prefix_processes)" ] || break
        sleep 0.1
    done
    for pid in $(prefix_processes); do
        kill -KILL "$pid" 2>/dev/null || true
    done
    # The display is gone, its lock too, before a next session may start.
    if [ -f "$session_dir/xvfb.pid" ]; then
        pid=$(cat "$session_dir/xvfb.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        rm -f "$session_dir/xvfb.pid"
    fi
}

case "${1:-}" in
start)
    : "${DISPLAY:?}"
    mkdir -p "$session_dir"
    start_watcher "$PPID"
    # A start that fails part-way leaves nothing running. (Not "if ! step":
    # bash ignores errexit inside a function called as a condition.)
    trap 'stop; rm -rf "$WINEPREFIX.new"' EXIT
    start_display
    make_prefix own-display
    # One wineserver for the whole session, and Wine's background services
    # started now rather than inside the first test (where they would hold
    # the test runner's output pipe open). Kept away from our output:
    # whatever stays running must not hold the caller's pipes.
    "$wine" --server -p </dev/null >/dev/null 2>&1 || true
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    trap - EXIT
    ;;
prefix)
    mkdir -p "$session_dir"
    make_prefix user-display
    ;;
stop)
    stop
    ;;
*)
    echo "usage: $0 start|prefix|stop" >&2
    exit 2
    ;;
esac
