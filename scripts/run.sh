#!/usr/bin/env bash
# Builds and starts a program under Wine with the Japanese ANSI code page 932,
# so that the help shows its Japanese words; "1.txt" goes to the directory
# the command is started from. With an X display, the window opens on it;
# without one, the program's display is served to a web browser
# (scripts/browser.sh), at the address the command prints.
#   scripts/run.sh [zirna|zirna-mirror]
set -euo pipefail
shopt -s inherit_errexit
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
name=${1:-zirna}
program_path "$name" >/dev/null
# (What tells whether a display answers, when one is named.)
[ -z "${DISPLAY:-}" ] || "$root/scripts/install-deps.sh" run display
if ! "$root/scripts/lib/machine.sh" can display; then
    exec "$root/scripts/browser.sh" "$name"
fi
build_programs run "$name"
export WINEPREFIX=$root/build/run/prefix
session_prefix
ZIRNA_LOCALE=ja_JP.UTF-8 exec "$WINE" "$(program_path "$name")"
