#!/usr/bin/env bash
# Runs a program under Wine (code page 932) in a private X display served to
# a web browser: for scripts/run.sh without a display, and the browser test.
# "1.txt" goes to the directory it starts from. Prints the address, then
# stays until Ctrl-C (exit 130) or the program's end (its exit code). A
# program given by name is built while the display and prefix are made.
#   scripts/browser.sh PROGRAM.exe|NAME [SESSIONS_DIR]
# Only its user gets in: an X cookie; the VNC server on a socket of mode
# 0600; the web server (websockify, noVNC) on a free port of 127.0.0.1, or
# ZIRNA_PORT of every address (a container's, published on the host's
# loopback); a password made for the run, read by the VNC server from a
# file of mode 0600, by the browser from the address's fragment (never
# sent, on no command line, in no log). Each run takes the first free slot
# SESSIONS_DIR/N (build/run/browser/N) and keeps its Wine prefix there.
set -euo pipefail
shopt -s inherit_errexit
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
program=${1:?usage: browser.sh PROGRAM.exe|NAME [SESSIONS_DIR]}
name=""
if [[ $program == *.exe ]]; then program=$(realpath -e "$program"); else name=$program; program=$(program_path "$name"); fi
sessions=${2:-$builds/run/browser}
job "$root/scripts/install-deps.sh" run
# Room for the window and the error box centred on the screen.
readonly Screen=480x360x24 NoVNC=/usr/share/novnc
# The first free slot, held (locked) until this command ends.
for ((n = 1; ; n++)); do
    slot=$sessions/$n
    mkdir -p "$slot"
    hold "$slot/lock" -n && break
done
chmod 700 "$slot"
export WINEPREFIX=$slot/prefix
session_spawn "$root/scripts/install-deps.sh" browser
jobs=("$!")
[ -z "$name" ] || { session_spawn build_programs run "$name" && jobs+=("$!"); }
session_start $Screen
for job in "${jobs[@]}"; do wait "$job"; done

# Waits up to 10 s for the file or socket $1, made by the $2, whose log is $3.
appears() {
    # shellcheck disable=SC2016 # the inner shell expands it
    timeout 10 bash -c 'until [ -s "$0" ] || [ -S "$0" ]; do sleep 0.1; done' "$1" && return
    echo "The $2 did not start:" >&2
    tail -n 5 "$3" >&2
    exit 1
}

# Eight characters: all that VNC's authentication uses.
password=$(head -c 512 /dev/urandom | LC_ALL=C tr -dc 'A-Za-z0-9' | cut -c 1-8)
(umask 077 && vncpasswd -f <<<"$password" >"$slot/password")
rm -f "$slot/vnc.socket" "$slot/web.port"
# The VNC server (TigerVNC's, for a display that exists) listens on no port,
# only on a socket of mode 0600 in the slot.
session_spawn X0tigervnc -display "$DISPLAY" -rfbport -1 -rfbunixpath "$slot/vnc.socket" \
    -SecurityTypes VncAuth -PasswordFile "$slot/password" -AlwaysShared </dev/null >"$slot/vnc.log" 2>&1
vnc=$!
appears "$slot/vnc.socket" "VNC server" "$slot/vnc.log"
# The web server gets its listening socket ready-made on a free port (its
# inetd mode), so the port is known and taken before the address is printed.
session_spawn /usr/bin/python3 -c '
import os, socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("0.0.0.0", int(sys.argv[4])) if sys.argv[4] else ("127.0.0.1", 0))
listener.listen(16)
with open(sys.argv[1], "w") as f:
    f.write(str(listener.getsockname()[1]))
os.dup2(listener.fileno(), 0)
os.execvp("websockify", ["websockify", "--inetd", "--web", sys.argv[2], "--unix-target", sys.argv[3]])
' "$slot/web.port" "$NoVNC" "$slot/vnc.socket" "${ZIRNA_PORT:-}" >"$slot/websockify.log" 2>&1
web=$!
appears "$slot/web.port" "web server" "$slot/websockify.log"

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
