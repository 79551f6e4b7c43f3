#!/usr/bin/env bash
# A PNG screenshot of the real program under Wine, with the Japanese code
# page, in a private display; --with-help holds the right button down.
#   scripts/screenshot.sh [zirna|zirna-mirror] [OUT.png] [--with-help]
set -euo pipefail
shopt -s inherit_errexit
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
name=${1:-zirna}
out=$(realpath -m "${2:-$name.png}")
program=$(program_path "$name")
build_programs screenshot "$name" zirna-probe
export WINEPREFIX=$builds/screenshot/prefix
session_start 1024x768x24
cd "$tmp"
ZIRNA_LOCALE=ja_JP.UTF-8 session_spawn "$WINE" "$program" </dev/null >/dev/null 2>&1
read -r cx cy cw ch _ left top right bottom < <("$WINE" "$build/tests/zirna-probe.exe" window 30 | tr -d "\r")
if [ "${3:-}" = "--with-help" ]; then
    xdotool mousemove $((cx + cw - 40)) $((cy + ch - 30)) mousedown 3
fi
sleep 1
import -window root -depth 8 -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out"
echo "$out"
