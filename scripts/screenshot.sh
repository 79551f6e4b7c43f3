#!/usr/bin/env bash
# Writes a PNG screenshot of the real program, run under Wine in a private
# Xvfb display (no display of your own needed), with the Japanese code page.
#
#   scripts/screenshot.sh [zirna|zirna-mirror] [OUT.png] [--with-help]
#
# --with-help holds the right button down over the window, so the picture
# shows the help text.
set -euo pipefail
source "$(dirname "$0")/common.sh"
name=${1:-zirna}
out=$(realpath -m "${2:-$name.png}")
with_help=${3:-}
program=$(program_path "$name")
build_programs screenshot "$name" zirna-probe

session="$root/build/screenshot"
mkdir -p "$session"
export DISPLAY WINEPREFIX="$session/prefix"
DISPLAY=$(free_display)
workdir=$(mktemp -d)
stop() {
    [ -z "${pid:-}" ] || kill "$pid" 2>/dev/null || true
    "$root/scripts/wine-session.sh" stop
    rm -rf "$workdir"
}
trap stop EXIT
"$root/scripts/wine-session.sh" start

(cd "$workdir" && ZIRNA_LOCALE=ja_JP.UTF-8 exec "$WINE" "$program") </dev/null >/dev/null 2>&1 &
pid=$!
read -r cx cy cw ch _ left top right bottom < <("$WINE" "$build/tests/zirna-probe.exe" window 30 | tr -d "\r")
if [ "$with_help" = "--with-help" ]; then
    xdotool mousemove $((cx + cw - 40)) $((cy + ch - 30)) mousedown 3
fi
sleep 1
import -window root -depth 8 -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out"
[ "$with_help" = "--with-help" ] && xdotool mouseup 3
echo "$out"
