# shellcheck shell=bash
# Sourced by the commands that run the programs under Wine: the one place
# that decides how a command gets its X display and Wine prefix, and how it
# ends what it started.
#   session_start SCREEN      Xvfb (WIDTHxHEIGHTxDEPTH) on a number that it
#                             takes itself (-displayfd), open only to this
#                             session's X cookie; the prefix WINEPREFIX, made
#                             on first use; a wineserver with its services.
#                             Exports DISPLAY and XAUTHORITY (also noted in
#                             session.env beside the prefix).
#   session_prefix            the prefix alone, for the user's own display
#   session_spawn COMMAND...  COMMAND in the background, in a process group
#                             of its own ($! is its PID)
#   session_end               ends what these started: TERM to each spawned
#                             group, KILL 5 s later, wineserver -k, Xvfb last
#   wineserver_end            ends WINEPREFIX's wineserver, if one runs, and
#                             waits until it is gone
# Sourcing this sets an EXIT trap for session_end, which INT, TERM and HUP
# (Ctrl-C, kill, a time limit) lead to; a command killed outright takes its
# display with it (pdeathsig). Wine draws with the fonts fontconfig lists:
# here only those of fonts.conf, whatever font packages the host has. Wine
# reports its errors, so that a Wine failure says why, but not its notes on
# what it leaves unimplemented (WINEDEBUG).
session_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=step.sh
source "$session_lib/step.sh"
export WINE=$session_lib/wine.sh WINEDEBUG=fixme-all FONTCONFIG_FILE=$session_lib/fonts.conf
session_groups=()
session_xvfb=""
session_exit() {
    local status=$?
    session_end
    exit "$status"
}
trap session_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

session_spawn() {
    setsid "$@" &
    session_groups+=("$!")
}

wineserver_end() {
    "$WINE" --server -k </dev/null >/dev/null 2>&1 || true
    timeout 10 "$WINE" --server -w </dev/null
}

session_end() {
    local -
    set +e # on past whatever is already gone
    if [ ${#session_groups[@]} -gt 0 ]; then
        kill -TERM -- "${session_groups[@]/#/-}" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 -- "${session_groups[@]/#/-}" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL -- "${session_groups[@]/#/-}" 2>/dev/null
        wait "${session_groups[@]}" 2>/dev/null
        session_groups=()
    fi
    if [ -n "$session_xvfb" ]; then
        wineserver_end >/dev/null 2>&1
        kill "$session_xvfb" 2>/dev/null
        wait "$session_xvfb" 2>/dev/null
        rm -f "$XAUTHORITY" "$(dirname "$WINEPREFIX")/session.env"
        unset DISPLAY XAUTHORITY
        session_xvfb=""
    fi
    return 0
}

# No Mono or Gecko installers, menu entries, crash dialogs or game controller
# services; on a display of its own, with no window manager, Wine draws the
# frames itself (a managed window's close waits 2 s there).
prefix_settings() {
    printf '%s\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\Wine\DllOverrides]' '"mscoree"=""' \
        '"mshtml"=""' '"winemenubuilder.exe"=""' '"winebus.sys"=""' '"wineusb.sys"=""' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000'
    [ "$1" != own-display ] ||
        printf '\n%s\n%s\n' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"'
}

# The caption buttons' font, which Wine 8 finds only inside the prefix.
readonly Marlett=/usr/share/wine/fonts/marlett.ttf
# Made beside its place and moved there once complete, the prefix notes what
# it is made of: the Wine installation (one made before the 32-bit Wine came
# cannot run 32-bit programs), its settings and fonts.
session_prefix() {
    local wanted fresh=$WINEPREFIX.new
    wanted=$("$WINE" --version; { dpkg-query -W -f='${Package} ${Version}\n' wine64 wine32:i386 \
        2>/dev/null || true; }; prefix_settings "${1:-}"; ls "$Marlett")
    [ "$(cat "$WINEPREFIX/zirna.id" 2>/dev/null)" != "$wanted" ] || return 0
    echo "Preparing a Wine prefix in $WINEPREFIX (once, about half a minute) ..." >&2
    rm -rf "$fresh"
    mkdir -p "$fresh"
    step "making the Wine prefix (wineboot)" env WINEPREFIX="$fresh" \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$WINE" wineboot -i
    prefix_settings "${1:-}" >"$fresh/drive_c/zirna.reg"
    step "setting up the Wine prefix (regedit)" env WINEPREFIX="$fresh" \
        "$WINE" regedit /S 'C:\zirna.reg'
    # Ended rather than awaited (its services linger some 5 s); ending it
    # writes the registry all the same.
    WINEPREFIX=$fresh step "ending the new prefix's wineserver" wineserver_end
    rm "$fresh/drive_c/zirna.reg"
    cp "$Marlett" "$fresh/drive_c/windows/Fonts/"
    echo "$wanted" >"$fresh/zirna.id"
    rm -rf "$WINEPREFIX"
    mv "$fresh" "$WINEPREFIX"
}

session_start() {
    local dir cookie fd number
    dir=$(dirname "$WINEPREFIX")
    mkdir -p "$dir"
    # The server takes the cookie of any entry; clients look for the display's.
    export XAUTHORITY=$dir/xauthority
    cookie=$(mcookie)
    : >"$XAUTHORITY"
    echo "add :0 . $cookie" | xauth -q -f "$XAUTHORITY" source -
    exec {fd}< <(exec setsid setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 "$1" \
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
    session_prefix own-display
    # (Away from the caller's pipes, which a test runner would wait on.)
    step "starting the wineserver" "$WINE" --server -p
    step "starting Wine's services (cmd /c exit)" "$WINE" cmd /c exit
    printf '%s\n' "DISPLAY=$DISPLAY" "XAUTHORITY=$XAUTHORITY" "WINEPREFIX=$WINEPREFIX" \
        "ZIRNA_XVFB_SCREEN=$1" >"$dir/session.env"
}
