#!/usr/bin/env bash
# Runs a built program under Wine, with the Japanese code page 932, in a
# private X display that it serves to a web browser, for machines without a
# display of their own (a server, a container, a remote shell). The program's
# current directory is the one this command is started from, so "1.txt" is
# written there.
#
#   scripts/browser.sh PROGRAM.exe [SESSIONS_DIR]
#
# Prints one line with the address to open and stays in the foreground until
# Ctrl-C (exit 130) or until the program ends (its exit code); either way it
# ends everything it started. Used by scripts/run.sh and by the browser test.
#
# Only the user who started it gets in: the display requires an X cookie, the
# VNC server (x11vnc) and the web server (websockify with noVNC) listen on
# 127.0.0.1 only, each on a free port, and the VNC server asks for a password
# made afresh for each run. The password reaches x11vnc through a file of
# mode 0600 that it removes once read, and the browser through the address's
# fragment (after "#"), which the browser keeps to itself: it never appears
# on a command line, in the web server's log or on the network.
#
# Each run takes a slot SESSIONS_DIR/N (build/run/browser/N unless given):
# the first one that no other run holds. A slot keeps its Wine prefix for
# later runs, so a second run beside the first makes a prefix of its own
# once (about half a minute and 1.3 GB), and one wineserver never serves
# two runs. While a run lasts, its slot's session.env holds its DISPLAY,
# XAUTHORITY, WINEPREFIX and screen size, for a look from the shell (the
# browser test's probe reads them).
set -euo pipefail
source "$(dirname "$0")/common.sh"
program=$(realpath -e "${1:?usage: browser.sh PROGRAM.exe [SESSIONS_DIR]}")
sessions=${2:-$root/build/run/browser}
workdir=$PWD
readonly NoVNC=/usr/share/novnc
# The screen: room for the window and the error box centred on it.
export ZIRNA_XVFB_SCREEN=${ZIRNA_XVFB_SCREEN:-480x360x24}
umask 077

# The first free slot, held through file descriptor 9 until this command
# ends.
n=1
while :; do
    slot=$sessions/$n
    mkdir -p "$slot"
    exec 9>>"$slot/lock"
    flock -n 9 && break
    n=$((n + 1))
done
export WINEPREFIX=$slot/prefix XAUTHORITY=$slot/xauthority DISPLAY
export ZIRNA_XVFB_AUTH=$XAUTHORITY

children=()
stop() {
    local status=$?
    trap - EXIT INT TERM HUP
    set +e
    [ ${#children[@]} -eq 0 ] || kill "${children[@]}" 2>/dev/null
    [ ${#children[@]} -eq 0 ] || wait "${children[@]}" 2>/dev/null
    [ -z "${DISPLAY:-}" ] || "$root/scripts/wine-session.sh" stop
    rm -f "$slot/session.env" "$slot/password" "$XAUTHORITY"
    exit "$status"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# A new X cookie for each run: without one, any local user could connect to
# the display and watch or type.
new_cookie() {
    local cookie
    cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    rm -f "$XAUTHORITY"
    : >"$XAUTHORITY"
    # (Through standard input: the cookie is on no command line.)
    echo "add $DISPLAY . $cookie" | xauth -q -f "$XAUTHORITY" source -
}

# The display number is chosen free, but a run starting at the same moment
# may take it first: then the next one.
for attempt in 1 2 3; do
    DISPLAY=$(free_display)
    new_cookie
    "$root/scripts/wine-session.sh" start && break
    if [ $attempt -eq 3 ] || [ ! -e "/tmp/.X${DISPLAY#:}-lock" ]; then
        DISPLAY=""
        exit 1
    fi
done
printf 'DISPLAY=%s\nXAUTHORITY=%s\nWINEPREFIX=%s\nZIRNA_XVFB_SCREEN=%s\n' "$DISPLAY" "$XAUTHORITY" \
    "$WINEPREFIX" "$ZIRNA_XVFB_SCREEN" >"$slot/session.env"

# Eight characters: all that VNC's authentication uses.
password=$(head -c 512 /dev/urandom | LC_ALL=C tr -dc 'A-Za-z0-9' | cut -c 1-8)
echo "$password" >"$slot/password"
# The servers end with this command even when it is killed outright
# (setpriv --pdeathsig); x11vnc picks the first free port from 5900 on and
# says which.
setpriv --pdeathsig TERM x11vnc -display "$DISPLAY" -localhost -no6 -noipv6 \
    -passwdfile "rm:$slot/password" -forever -shared -noremote -nolookup \
    -o "$slot/x11vnc.log" </dev/null >"$slot/x11vnc.out" 2>/dev/null &
children+=($!)
vnc_port=""
for _ in $(seq 100); do
    vnc_port=$(sed -n 's/^PORT=\([0-9]*\)$/\1/p' "$slot/x11vnc.out")
    [ -n "$vnc_port" ] && break
    if ! kill -0 "${children[0]}" 2>/dev/null; then break; fi
    sleep 0.1
done
if [ -z "$vnc_port" ]; then
    echo "The VNC server did not start:" >&2
    tail -n 5 "$slot/x11vnc.log" >&2
    exit 1
fi

# The web server gets its listening socket ready-made on a free port (its
# inetd mode), so the port is known and taken before the address is printed.
web_port_file=$slot/web.port
rm -f "$web_port_file"
setpriv --pdeathsig TERM /usr/bin/python3 -c '
import os, socket, sys
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
with open(sys.argv[1], "w") as f:
    f.write(str(listener.getsockname()[1]))
os.dup2(listener.fileno(), 0)
os.execvp("websockify", ["websockify", "--inetd", "--web", sys.argv[2], sys.argv[3]])
' "$web_port_file" "$NoVNC" "127.0.0.1:$vnc_port" >"$slot/websockify.log" 2>&1 &
children+=($!)
for _ in $(seq 100); do
    [ -s "$web_port_file" ] && break
    sleep 0.1
done
if [ ! -s "$web_port_file" ]; then
    echo "The web server did not start:" >&2
    tail -n 5 "$slot/websockify.log" >&2
    exit 1
fi
web_port=$(cat "$web_port_file")

# What Wine says goes to a log of the slot's own.
(cd "$workdir" && ZIRNA_LOCALE=ja_JP.UTF-8 exec "$WINE" "$program") </dev/null \
    >"$slot/program.log" 2>&1 &
program_pid=$!
children+=("$program_pid")

address="http://127.0.0.1:$web_port/vnc.html#autoconnect=true&resize=off&password=$password"
echo "$(basename "$program" .exe): open $address in a web browser (Ctrl-C ends it)"

# Until the program ends, or a server does (then the page can show nothing).
ended=""
wait -n -p ended "${children[@]}" && status=0 || status=$?
if [ "$ended" = "$program_pid" ]; then
    children=("${children[@]:0:2}")
    exit "$status"
fi
echo "The $([ "$ended" = "${children[0]}" ] && echo VNC || echo web) server ended." >&2
exit 1
