# shellcheck shell=bash
# Sourced by the commands that run the programs under Wine: the one place
# that decides how a command gets its X display and Wine prefix.
#   session_start SCREEN      Xvfb (WxHxD) on a free number, open only to the
#                             command's X cookie; the prefix WINEPREFIX, the
#                             command's alone; a wineserver with its
#                             services. Exports DISPLAY and XAUTHORITY (also
#                             in session.env beside the prefix).
#   session_prefix shared     the prefix alone, for the user's display, shared
#                             (one wineserver, which ends after the last user)
#   session_spawn COMMAND...  COMMAND in the background, ended with the command
#   wineserver_end            ends WINEPREFIX's wineserver and waits for it
# The command's end (step.sh) ends the session's wineserver and display.
# Wine sees only the fonts of fonts.conf, and shows no notes on what it
# leaves unimplemented, unless the user set WINEDEBUG. Whether Wine can
# run with address randomization off is decided once, here.
session_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=step.sh
source "$session_lib/step.sh"
export WINE=$session_lib/wine.sh WINEDEBUG=${WINEDEBUG-fixme-all} FONTCONFIG_FILE=$session_lib/fonts.conf
ZIRNA_CAN_NORANDOM=${ZIRNA_CAN_NORANDOM:-$("$session_lib/machine.sh" can norandom && echo yes || echo no)}
export ZIRNA_CAN_NORANDOM
session_xvfb="" session_making=""

session_spawn() {
    "$@" &
    own $!
}

wineserver_end() {
    "$WINE" --server -k </dev/null >/dev/null 2>&1 || true
    timeout 10 "$WINE" --server -w </dev/null
}

session_end() {
    [ -z "$session_making" ] || { WINEPREFIX=$session_making wineserver_end; remove_prefix "$session_making"; }
    [ -n "$session_xvfb" ] || return 0
    wineserver_end >/dev/null 2>&1
    kill "$session_xvfb" 2>/dev/null
    wait "$session_xvfb" 2>/dev/null
    rm -f "$(dirname "$WINEPREFIX")/session.env"
    unset DISPLAY XAUTHORITY
    session_xvfb=""
}

# A prefix removed, with the folder of its wineserver's socket, which
# Debian's Wine makes in the temporary folder and names in the prefix.
remove_prefix() {
    [ ! -f "$1/wineserver" ] || rm -rf "${TMPDIR:-/tmp}/$(cat "$1/wineserver")"
    rm -rf "$1"
}

# Whether a Wine process that the last step started failed to start as
# wine.sh says: Wine's own services take that risk too.
unstarted() { grep -q "failed to map the shared user data" "$step_log"; }

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
# Made beside its place and moved there once complete, under the prefix's
# lock (a shared one to use it), the prefix notes what it is made of: the
# Wine installation (one made before the 32-bit Wine came cannot run 32-bit
# programs), its settings and fonts.
session_prefix() {
    local wanted fresh=$WINEPREFIX.new what="the Wine prefix $WINEPREFIX"
    wanted=$("$WINE" --version; { dpkg-query -W -f='${Package} ${Version}\n' wine64 wine32:i386 \
        2>/dev/null || true; }; prefix_settings "$1"; ls "$Marlett")
    if [ "$1" = shared ]; then
        waiting "$WINEPREFIX.lock" "$what" -s
        [ "$(cat "$WINEPREFIX/zirna.id" 2>/dev/null)" != "$wanted" ] || return 0
        kill "$held"
    fi
    waiting "$WINEPREFIX.lock" "$what"
    if [ "$(cat "$WINEPREFIX/zirna.id" 2>/dev/null)" != "$wanted" ]; then
        echo "Preparing a Wine prefix in $WINEPREFIX (once, about half a minute) ..." >&2
        session_making=$fresh
        for _ in 1 2 3; do
            remove_prefix "$fresh"
            mkdir -p "$fresh"
            step "making the Wine prefix (wineboot)" env WINEPREFIX="$fresh" \
                WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$WINE" wineboot -i
            unstarted || break
            WINEPREFIX=$fresh wineserver_end
        done
        prefix_settings "$1" >"$fresh/drive_c/zirna.reg"
        step "setting up the Wine prefix (regedit)" env WINEPREFIX="$fresh" "$WINE" regedit /S 'C:\zirna.reg'
        # Ended rather than awaited (its services linger some 5 s); ending it
        # writes the registry all the same.
        WINEPREFIX=$fresh step "ending the new prefix's wineserver" wineserver_end
        rm "$fresh/drive_c/zirna.reg"
        cp "$Marlett" "$fresh/drive_c/windows/Fonts/"
        echo "$wanted" >"$fresh/zirna.id"
        remove_prefix "$WINEPREFIX"
        mv "$fresh" "$WINEPREFIX"
        session_making=""
    fi
    [ "$1" != shared ] || { kill "$held" && waiting "$WINEPREFIX.lock" "$what" -s; }
}

session_start() {
    local fd number cookie
    # The server takes the cookie of any entry; clients look for the display's.
    export XAUTHORITY=$tmp/xauthority
    : >"$XAUTHORITY"
    cookie=$(mcookie)
    echo "add :0 . $cookie" | xauth -q -f "$XAUTHORITY" source -
    exec {fd}< <(exec setsid setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 "$1" \
        -nolisten tcp -noreset -auth "$XAUTHORITY" 3>&1 >"$tmp/xvfb.log" 2>&1)
    session_xvfb=$!
    if ! read -r -t 30 -u "$fd" number; then
        echo "session: Xvfb did not start:" >&2
        cat "$tmp/xvfb.log" >&2
        exit 1
    fi
    exec {fd}<&-
    export DISPLAY=:$number
    echo "add $DISPLAY . $cookie" | xauth -q -f "$XAUTHORITY" source -
    session_prefix own-display
    # (Away from the caller's pipes, which a test runner would wait on.)
    for _ in 1 2 3; do
        step "starting the wineserver" "$WINE" --server -p
        step "starting Wine's services (cmd /c exit)" "$WINE" cmd /c exit
        unstarted || break
        wineserver_end
    done
    printf '%s\n' "DISPLAY=$DISPLAY" "XAUTHORITY=$XAUTHORITY" "WINEPREFIX=$WINEPREFIX" \
        "ZIRNA_XVFB_SCREEN=$1" >"$(dirname "$WINEPREFIX")/session.env"
}
