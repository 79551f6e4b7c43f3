#!/usr/bin/env bash
# Builds and starts a program under Wine with the Japanese ANSI code page 932,
# so that the help shows its Japanese words. "1.txt" is written in the
# directory the command is started from.
#
#   scripts/run.sh [zirna|zirna-mirror]
#
# With an X display, the window opens on it. Without one (a server, a
# container, a remote shell), the program runs in a private display served
# to a web browser (scripts/browser.sh): the command prints the address to
# open and stays until Ctrl-C or until the window is closed.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
name=${1:-zirna}
program_path "$name" >/dev/null

"$root/scripts/install-deps.sh" run
if ! "$root/scripts/lib/machine.sh" can display; then
    build_programs "run browser" "$name"
    exec "$root/scripts/browser.sh" "$(program_path "$name")"
fi
build_programs run "$name"
# A Wine prefix of the program's own, made quietly on first use.
export WINEPREFIX=$root/build/run/prefix
session_prefix
ZIRNA_LOCALE=ja_JP.UTF-8 exec "$WINE" "$(program_path "$name")"
