# shellcheck shell=bash
# Sourced by the commands that run the Windows programs under Wine. The one
# place that decides how a command gets its X display and its Wine prefix,
# and how it ends what it started.
#
#   session_start [SCREEN]    a private Xvfb display (WIDTHxHEIGHTxDEPTH,
#                             1024x768x24 unless given), whose number the X
#                             server itself takes among the free ones
#                             (-displayfd), and which admits only holders of
#                             this session's X cookie; the caller's
#                             WINEPREFIX, made on first use; and one
#                             wineserver with Wine's background services
#                             already started. Exports DISPLAY and
#                             XAUTHORITY, and notes them with WINEPREFIX and
#                             the screen in session.env beside the prefix,
#                             while the session lasts.
#   session_prefix            the prefix alone, for a window on the user's
#                             own display
#   session_spawn COMMAND...  starts COMMAND in the background, in a process
#                             group of its own; its PID is then in $!
#   session_end               ends what the two above started
#
# How a command ends what it started, whichever way it ends (its last line,
# an error, Ctrl-C, kill, or the TERM of a time limit): the first
# session_start or session_spawn sets one EXIT trap, and INT, TERM and HUP
# lead to it. It runs session_end: TERM to the process group of each
# session_spawn, KILL to what is left of them 5 s later, then the wineserver
# ends every Wine process of the prefix (-k), and the display goes last.
# Killed outright (KILL), the command takes the display with it
# (pdeathsig), and Wine's windows go with their display.
#
# Wine draws text with the host's fonts, as fontconfig lists them: a host
# with other font packages would draw the help in another face. Every Wine
# program of a command sees only the fonts of fonts.conf, which
# install-deps.sh installs, so the pixels are the same on every host.
session_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINE=$session_lib/wine.sh WINEDEBUG=-all FONTCONFIG_FILE=$session_lib/fonts.conf
session_groups=()
session_xvfb=""

session_exit() {
    local status=$?
    session_end
    exit "$status"
}

session_trap() {
    trap session_exit EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
}

session_spawn() {
    session_trap
    setsid "$@" &
    session_groups+=("$!")
}

session_end() {
    local - killer
    set +e # an ending goes on past whatever is already gone
    if [ ${#session_groups[@]} -gt 0 ]; then
        kill -TERM -- "${session_groups[@]/#/-}" 2>/dev/null
        setsid bash -c 'sleep 5 && kill -KILL -- "$@"' killer "${session_groups[@]/#/-}" 2>/dev/null &
        killer=$!
        wait "${session_groups[@]}" 2>/dev/null
        kill -- "-$killer" 2>/dev/null
        wait "$killer" 2>/dev/null
        kill -KILL -- "${session_groups[@]/#/-}" 2>/dev/null
        session_groups=()
    fi
    [ -z "$session_xvfb" ] || {
        "$WINE" --server -k </dev/null >/dev/null 2>&1
        timeout 10 "$WINE" --server -w </dev/null >/dev/null 2>&1
        kill "$session_xvfb" 2>/dev/null
        wait "$session_xvfb" 2>/dev/null
        rm -f "$XAUTHORITY" "$(dirname "$WINEPREFIX")/session.env"
        unset DISPLAY XAUTHORITY
        session_xvfb=""
    }
    return 0
}

# The prefix's settings: no Mono or Gecko installers, no menu entries, no
# crash dialogs, no device services for game controllers. On a display of
# the session's own, with no window manager, Wine draws the window frames
# itself (a managed window's close waits 2 s there).
prefix_settings() {
    printf '%s\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\Wine\DllOverrides]' '"mscoree"=""' \
        '"mshtml"=""' '"winemenubuilder.exe"=""' '"winebus.sys"=""' '"wineusb.sys"=""' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000'
    [ "$1" = user-display ] || printf '\n%s\n%s\n' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
        '"Managed"="N"'
}

# Wine draws the caption buttons with the Marlett font; Wine 8 finds
# Debian's copy only inside the prefix.
readonly Marlett=/usr/share/wine/fonts/marlett.ttf

# Makes the prefix beside its place and moves it there once complete, so
# that a start cut short leaves nothing that passes for a whole prefix. What
# it is made of is noted in it: the Wine installation (a prefix made before
# the 32-bit Wine came cannot run 32-bit programs), its settings and fonts.
make_prefix() {
    local wanted fresh=$WINEPREFIX.new
    wanted=$("$WINE" --version; dpkg-query -W -f='${Package} ${Version}\n' wine64 wine32:i386 \
        2>/dev/null; prefix_settings "$1"; ls "$Marlett")
    [ "$(cat "$WINEPREFIX/zirna.id" 2>/dev/null)" != "$wanted" ] || return 0
    echo "Preparing a Wine prefix in $WINEPREFIX (once, about half a minute) ..." >&2
    rm -rf "$fresh"
    mkdir -p "$fresh"
    WINEPREFIX=$fresh WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
        "$WINE" wineboot -i >/dev/null 2>&1
    prefix_settings "$1" >"$fresh/drive_c/zirna.reg"
    WINEPREFIX=$fresh "$WINE" regedit /S 'C:\zirna.reg' >/dev/null 2>&1
    WINEPREFIX=$fresh "$WINE" --server -w
    rm "$fresh/drive_c/zirna.reg"
    cp "$Marlett" "$fresh/drive_c/windows/Fonts/"
    echo "$wanted" >"$fresh/zirna.id"
    rm -rf "$WINEPREFIX"
    mv "$fresh" "$WINEPREFIX"
}

session_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    make_prefix user-display
}

session_start() {
    local dir cookie fd number
    dir=$(dirname "$WINEPREFIX")
    mkdir -p "$dir"
    session_trap
    # The server takes the cookie of any entry; clients look for the display's.
    export XAUTHORITY=$dir/xauthority
    cookie=$(mcookie)
    rm -f "$XAUTHORITY"
    : >"$XAUTHORITY"
    echo "add :0 . $cookie" | xauth -q -f "$XAUTHORITY" source -
    exec {fd}< <(exec setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" \
        -nolisten tcp -noreset -auth "$XAUTHORITY" 3>&1 >"$dir/xvfb.log" 2>&1)
    session_xvfb=$!
    if ! read -r -t 30 -u "$fd" number; then
        echo "session: Xvfb did not start:" >&2
        cat "$dir/xvfb.log" >&2
        exit 1
    fi
    exec {fd}<&-
    export DISPLAY=:$number
    echo "add $DISPLAY . $cookie" | xauth -q -f "$XAUTHORITY" source -
    rm -rf "$WINEPREFIX.new"
    make_prefix own-display
    # Kept away from the caller's output: what stays running must not hold
    # its pipes (a test runner would wait for them to close).
    "$WINE" --server -p </dev/null >/dev/null 2>&1
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    printf '%s\n' "DISPLAY=$DISPLAY" "XAUTHORITY=$XAUTHORITY" "WINEPREFIX=$WINEPREFIX" \
        "ZIRNA_XVFB_SCREEN=${1:-1024x768x24}" >"$dir/session.env"
}
