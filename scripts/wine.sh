#!/usr/bin/env bash
# Runs a Windows program under Wine with the loader that its architecture
# needs: 64-bit programs with wine64 itself, which needs nothing 32-bit, and
# 32-bit programs with the 32-bit loader, only where this machine runs 32-bit
# programs at all (else it says so and exits 77, CTest's skip code).
#
#   wine.sh PROGRAM.exe [ARGS...]   the loader that PROGRAM's header asks for
#   wine.sh COMMAND [ARGS...]       Wine's own programs (wineboot, cmd,
#                                   regedit): the loader of ZIRNA_WINE_ARCH,
#                                   x64 (the default) or x86
#   wine.sh --server [ARGS...]      the wineserver
#
# ZIRNA_LOCALE sets the program's LC_ALL (Wine's ANSI code page follows it:
# ja_JP.UTF-8 gives 932). Given as LC_ALL itself, a locale that is not
# generated would make this shell warn; Wine needs none generated.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")

# The first loader that exists: Debian's, else one on PATH.
find_loader() {
    local name
    for name in "$@"; do
        if [ -x "/usr/lib/wine/$name" ]; then
            echo "/usr/lib/wine/$name"
            return 0
        fi
    done
    for name in "$@"; do
        if command -v "$name" >/dev/null; then
            command -v "$name"
            return 0
        fi
    done
    echo "wine.sh: no Wine loader ($*) is installed (scripts/install-deps.sh)" >&2
    exit 1
}

# x86 or x64, from the machine field of a PE file's header; nothing for a
# file that is not one.
pe_architecture() {
    local offset machine
    [ -f "$1" ] || return 0
    [ "$(head -c 2 "$1")" = "MZ" ] || return 0
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' ')
    case "$machine" in
    014c) echo x86 ;;
    8664) echo x64 ;;
    esac
}

if [ "${1:-}" = "--server" ]; then
    shift
    exec "$(find_loader wineserver)" "$@"
fi

locale=()
[ -z "${ZIRNA_LOCALE:-}" ] || locale=(env "LC_ALL=$ZIRNA_LOCALE")
architecture=$(pe_architecture "${1:-}")
case "${architecture:-${ZIRNA_WINE_ARCH:-x64}}" in
x64) exec "${locale[@]}" "$(find_loader wine64 wine)" "$@" ;;
x86) exec "$here/machine.sh" require wine32 -- "${locale[@]}" "$(find_loader wine)" "$@" ;;
*)
    echo "wine.sh: ZIRNA_WINE_ARCH is x64 or x86, not '$ZIRNA_WINE_ARCH'" >&2
    exit 2
    ;;
esac
