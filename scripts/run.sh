#!/usr/bin/env bash
# Builds and starts a program under Wine with the Japanese ANSI code page 932,
# so that the help shows its Japanese words. "1.txt" is written in the
# directory the command is started from.
#
#   scripts/run.sh [zirna|zirna-mirror]
set -euo pipefail
source "$(dirname "$0")/common.sh"
program=$(program_path "${1:-zirna}")

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    cat >&2 <<MSG
There is no X display here (DISPLAY is ${DISPLAY:-not set}), so the window cannot be shown.
To see the real program anyway, write a screenshot of it:
    scripts/screenshot.sh ${1:-zirna} zirna.png
MSG
    exit 1
fi

build_programs
# A Wine prefix of the program's own, made quietly on first use.
export WINEPREFIX="$root/build/run-prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing a Wine prefix in $WINEPREFIX (once) ..." >&2
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$WINE" wineboot -i >/dev/null 2>&1
fi
# (Through env: the shell itself need not know the locale.)
exec env LC_ALL=ja_JP.UTF-8 "$WINE" "$program"
