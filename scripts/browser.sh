#!/usr/bin/env bash
# Runs a built program under Wine, with the Japanese code page 932, in a
# private X display that it serves to a web browser, for machines without a
# display of their own (a server, a container, a remote shell). The program's
# current directory is the one this command is started from, so "1.txt" is
# written there, with the permissions of the user's own umask.
#
#   scripts/browser.sh PROGRAM.exe [SESSIONS_DIR]
#
# Prints one line with the address to open and stays in the foreground until
# Ctrl-C (exit 130) or until the program ends (its exit code); either way it
# ends everything it started (scripts/lib/session.sh). Used by scripts/run.sh
# and by the browser test.
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
# once (about half a minute and 1.3 GB), and one wineserver never serves two
# runs. While a run lasts, its slot's session.env says where its display
# and prefix are, for a look from the shell (the browser test's probe reads
# it).
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
program=$(realpath -e "${1:?usage: browser.sh PROGRAM.exe [SESSIONS_DIR]}")
sessions=${2:-$root/build/run/browser}
# The screen: room for the window and the error box centred on it.
readonly Screen=480x360x24 NoVNC=/usr/share/novnc

# The first free slot, held through a file descriptor until this command ends.
for ((n = 1; ; n++)); do
    slot=$sessions/$n
    mkdir -p "$slot"
    exec {lock}>>"$slot/lock"
    flock -n "$lock" && break
    exec {lock}>&-
done
chmod 700 "$slot"
export WINEPREFIX=$slot/prefix
session_start $Screen

# Eight characters: all that VNC's authentication uses.
password=$(head -c 512 /dev/urandom | LC_ALL=C tr -dc 'A-Za-z0-9' | cut -c 1-8)
(umask 077 && echo "$password" >"$slot/password")
# x11vnc takes the first free port from 5900 on and says which.
session_spawn x11vnc -display "$DISPLAY" -localhost -no6 -noipv6 -passwdfile "rm:$slot/password" \
    -forever -shared -noremote -nolookup -o "$slot/x11vnc.log" </dev/null >"$slot/x11vnc.out" 2>/dev/null
vnc=$!
for _ in $(seq 100); do
    vnc_port=$(sed -n 's/^PORT=\([0-9]*\)$/\1/p' "$slot/x11vnc.out")
    if [ -n "$vnc_port" ] || ! kill -0 $vnc 2>/dev/null; then break; fi
    sleep 0.1
done
rm -f "$slot/password" "$slot/web.port" # read by now, or never
# The web server gets its listening socket ready-made on a free port (its
# inetd mode), so the port is known and taken before the address is printed.
[ -z "$vnc_port" ] || session_spawn /usr/bin/python3 -c '
import os, socket, sys
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
with open(sys.argv[1] + ".new", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.rename(sys.argv[1] + ".new", sys.argv[1])
os.dup2(listener.fileno(), 0)
os.execvp("websockify", ["websockify", "--inetd", "--web", sys.argv[2], sys.argv[3]])
' "$slot/web.port" "$NoVNC" "127.0.0.1:$vnc_port" >"$slot/websockify.log" 2>&1
web=$!
for _ in $(seq 100); do
    if [ -z "$vnc_port" ] || [ -s "$slot/web.port" ] || ! kill -0 $web 2>/dev/null; then break; fi
    sleep 0.1
done
if [ ! -s "$slot/web.port" ]; then
    echo "The VNC server or the web server did not start:" >&2
    tail -n 5 "$slot/x11vnc.log" "$slot/websockify.log" >&2
    exit 1
fi

# The program, with what Wine says in a log of the slot's own.
ZIRNA_LOCALE=ja_JP.UTF-8 session_spawn "$WINE" "$program" </dev/null >"$slot/program.log" 2>&1
program_pid=$!
echo "$(basename "$program" .exe): open http://127.0.0.1:$(cat "$slot/web.port")/vnc.html#autoconnect=true&resize=off&password=$password in a web browser (Ctrl-C ends it)"

# Until the program ends (its exit code), or a server does (then the page
# can show nothing).
wait -n -p ended $vnc $web $program_pid && status=0 || status=$?
if [ "$ended" = $program_pid ]; then
    exit "$status"
fi
echo "The $([ "$ended" = $vnc ] && echo VNC || echo web) server ended." >&2
exit 1
