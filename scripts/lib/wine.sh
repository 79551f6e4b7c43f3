#!/usr/bin/env bash
# Which Wine loader runs a program: the one place that decides it. 64-bit
# programs run under wine64 itself, which needs nothing 32-bit; 32-bit ones
# under the 32-bit loader (Debian's wine32:i386), which only a machine that
# runs 32-bit programs can start (scripts/lib/machine.sh: wine32).
#
#   wine.sh PROGRAM.exe [ARGS...]   the loader that PROGRAM's header asks for
#   wine.sh COMMAND [ARGS...]       Wine's own programs (wineboot, cmd,
#                                   regedit, --version): the loader of
#                                   ZIRNA_WINE_ARCH, x64 (the default) or x86
#   wine.sh --server [ARGS...]      the wineserver
#
# ZIRNA_LOCALE becomes the program's LC_ALL (Wine's ANSI code page follows
# it: ja_JP.UTF-8 gives 932). Set as LC_ALL itself, a locale that is not
# generated would make this shell warn; Wine needs none generated.
set -euo pipefail

# The loader of that name: Debian's, else one on PATH.
loader() {
    [ -x "/usr/lib/wine/$1" ] && { echo "/usr/lib/wine/$1"; return; }
    command -v "$1" && return
    echo "wine.sh: $1 is not installed (scripts/install-deps.sh)" >&2
    exit 1
}

# The machine field of a PE file's header, as hex: 8664 for x64, 014c for x86.
pe_machine() {
    [ -f "$1" ] && [ "$(head -c 2 "$1")" = "MZ" ] || return 0
    od -An -tx2 -j$(($(od -An -tu4 -j60 -N4 "$1") + 4)) -N2 "$1" | tr -d ' '
}

if [ "${1:-}" = "--server" ]; then
    exec "$(loader wineserver)" "${@:2}"
fi
architecture=${ZIRNA_WINE_ARCH:-x64}
case "$(pe_machine "${1:-}")" in
014c) architecture=x86 ;;
8664) architecture=x64 ;;
esac
case "$architecture" in
x64) wine=$(loader wine64) ;;
x86) wine=$(loader wine) ;;
*) echo "wine.sh: ZIRNA_WINE_ARCH is x64 or x86, not '$architecture'" >&2; exit 2 ;;
esac
exec env ${ZIRNA_LOCALE:+"LC_ALL=$ZIRNA_LOCALE"} "$wine" "$@"
