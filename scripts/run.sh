#!/usr/bin/env bash
# Builds and starts a program under Wine with the Japanese ANSI code page 932,
# so that the help shows its Japanese words. "1.txt" is written in the
# directory the command is started from.
#
#   scripts/run.sh [zirna|zirna-mirror]
set -euo pipefail
source "$(dirname "$0")/common.sh"
name=${1:-zirna}
program_path "$name" >/dev/null

if ! why=$("$root/scripts/machine.sh" why display) || [ -n "$why" ]; then
    cat >&2 <<MSG
The window cannot be shown: $why.
To see the real program anyway, write a screenshot of it:
    scripts/screenshot.sh $name $name.png
MSG
    exit 1
fi

build_programs run "$name"
# A Wine prefix of the program's own, made quietly on first use.
export WINEPREFIX="$root/build/run/prefix"
if [ ! -f "$WINEPREFIX/zirna.id" ]; then
    echo "Preparing a Wine prefix in $WINEPREFIX (once) ..." >&2
fi
"$root/scripts/wine-session.sh" prefix
# (Through env: the shell itself need not know the locale.)
exec env LC_ALL=ja_JP.UTF-8 "$WINE" "$(program_path "$name")"
