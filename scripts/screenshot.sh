#!/usr/bin/env bash
# Writes a PNG screenshot of the real program, run under Wine in a private
# Xvfb display (no display of your own needed), with the Japanese code page.
#
#   scripts/screenshot.sh [zirna|zirna-mirror] [OUT.png] [--with-help]
#
# --with-help holds the right button down over the window, so the picture
# shows the help text.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
name=${1:-zirna}
out=$(realpath -m "${2:-$name.png}")
program=$(program_path "$name")
build_programs screenshot "$name" zirna-probe

export WINEPREFIX=$root/build/screenshot/prefix
session_start 1024x768x24
workdir=$(mktemp -d)
cd "$workdir"
ZIRNA_LOCALE=ja_JP.UTF-8 session_spawn "$WINE" "$program" </dev/null >/dev/null 2>&1
read -r cx cy cw ch _ left top right bottom < <("$WINE" "$build/tests/zirna-probe.exe" window 30 | tr -d "\r")
if [ "${3:-}" = "--with-help" ]; then
    xdotool mousemove $((cx + cw - 40)) $((cy + ch - 30)) mousedown 3
fi
sleep 1
import -window root -depth 8 -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out"
cd / && rm -rf "$workdir"
echo "$out"
