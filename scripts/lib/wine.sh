#!/usr/bin/env bash
# Which Wine loader runs a program, and how: the one place. wine64 for a
# 64-bit program, the 32-bit loader (wine32:i386) for a 32-bit one.
#   wine.sh PROGRAM.exe [ARGS...]   the loader that PROGRAM's header asks for
#   wine.sh COMMAND [ARGS...]       Wine's own (wineboot, cmd, --version...),
#                                   by ZIRNA_WINE_ARCH, x64 or x86
#   wine.sh --server [ARGS...]      the wineserver
# ZIRNA_LOCALE is the program's LC_ALL (ja_JP.UTF-8: code page 932).
# Debian's Wine has no preloader: now and then the kernel puts the loader's
# heap where Windows' shared user data must go (0x7ffe0000), and the start
# fails with status 1 ("failed to map the shared user data: c0000018"). So
# the loader runs with address randomization off (setarch -R) where the
# kernel allows it (machine.sh's "norandom"); elsewhere (a container's
# seccomp profile) a start that fails so is made again, up to three times:
# the loader's errors pass through a file, and it ends with this script.
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

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

[ "${1:-}" != "--server" ] || exec "$(loader wineserver)" "${@:2}"
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
start=(env ${ZIRNA_LOCALE:+"LC_ALL=$ZIRNA_LOCALE"} "$wine" "$@")
! "$here/machine.sh" can norandom || exec setarch -R "${start[@]}"

errors=$(mktemp)
pid=""
trap 'rm -f "$errors"' EXIT
for signal in INT TERM HUP; do
    # shellcheck disable=SC2064 # the signal's name, now
    trap "[ -z \"\$pid\" ] || kill -$signal \$pid 2>/dev/null" $signal
done
for attempt in 1 2 3 4; do
    setpriv --pdeathsig KILL "${start[@]}" 2>"$errors" &
    pid=$!
    tail -s 0.1 -n +1 -f --pid=$pid "$errors" >&2 &
    # (Until the loader has ended: a signal passed on cuts a wait short.)
    while status=0 && wait $pid || status=$?; kill -0 $pid 2>/dev/null; do :; done
    wait $!
    [ "$status" -eq 1 ] && [ $attempt -lt 4 ] && grep -q "failed to map the shared user data" "$errors" ||
        exit "$status"
    echo "wine.sh: starting it again" >&2
done
