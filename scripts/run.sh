#!/usr/bin/env bash
# Builds and starts a program under Wine with the Japanese ANSI code page 932,
# so that the help shows its Japanese words; "1.txt" goes to the directory
# the command is started from. With an X display, the window opens on it,
# and the command ends with the program, with its exit code; without one,
# the program's display is served to a web browser (scripts/browser.sh), at
# the address the command prints. Wine's own messages go to a log, shown if
# the program fails, or as they come with --verbose or a WINEDEBUG of yours.
#   scripts/run.sh [zirna|zirna-mirror] [--verbose]
set -euo pipefail
shopt -s inherit_errexit
verbose=${WINEDEBUG+yes}
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
name=zirna
for word; do if [ "$word" = --verbose ]; then verbose=yes; else name=$word; fi; done
program_path "$name" >/dev/null
# (What tells whether a display answers, when one is named.)
[ -z "${DISPLAY:-}" ] || job "$root/scripts/install-deps.sh" run display
if ! "$root/scripts/lib/machine.sh" can display; then
    exec "$root/scripts/browser.sh" "$name"
fi
build_programs run "$name"
export WINEPREFIX=$builds/run/prefix
session_prefix shared
log=$tmp/wine.log
[ -z "$verbose" ] || log=/dev/stderr
ZIRNA_LOCALE=ja_JP.UTF-8 session_spawn "$WINE" "$(program_path "$name")" 2>>"$log"
wait $! && exit 0 || status=$?
[ "$log" = /dev/stderr ] || cat "$log" >&2
exit "$status"
