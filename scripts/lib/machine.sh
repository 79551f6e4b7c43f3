#!/usr/bin/env bash
# What this machine can do: the one place that decides it, by trying, never
# from a package list.
#   32bit     it runs 32-bit x86 Linux programs at all (some kernels do not)
#   norandom  a program can run with address randomization off (setarch -R;
#             a container's seccomp profile may refuse it)
#   wine32    Wine's 32-bit loader runs (installed, on a machine that can)
#   readonly  a file can be made read-only for this user (as root: chattr +i)
#   mount     a tmpfs can be mounted (root with CAP_SYS_ADMIN)
#   display   an X display answers on $DISPLAY
#   machine.sh can CAP                    exit status 0 when it can
#   machine.sh require CAP... -- COMMAND  runs COMMAND if it can do them all,
#                                         else prints "skipped: why" and
#                                         exits 77 (CTest's skip code)
#   machine.sh lock|unlock FILE           FILE read-only for this user, or not
# An unknown capability is an error (exit 2), so a misspelt requirement fails
# its test. ZIRNA_CAN_<CAP>=yes|no answers without trying.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Trials in the current directory (a test's: the tests' file system), in
# the shell of the probe that needs them ($(...) runs each one).
trial=""
trial() {
    [ -z "$trial" ] || return 0
    trial=$(mktemp -d "$PWD/.machine-trial.XXXXXX" 2>/dev/null || mktemp -d)
    trap 'rm -rf "$trial"' EXIT
}
# A complete 32-bit x86 Linux program of 95 bytes: an ELF header, one
# loadable segment, then xor ebx,ebx; mov bl,42; mov eax,1; int 0x80.
write_i386_program() {
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000'
    printf '\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000'
    printf '\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010'
    printf '\000\200\004\010\137\000\000\000\137\000\000\000\005\000\000\000\000\020\000\000'
    printf '\061\333\263\052\270\001\000\000\000\315\200'
}

# Root writes through permission bits: only the immutable flag stops it.
lock_file() { if [ "$(id -u)" -eq 0 ]; then chattr +i "$1"; else chmod a-w "$1"; fi; }
unlock_file() { if [ "$(id -u)" -eq 0 ]; then chattr -i "$1"; else chmod u+w "$1"; fi; }

# Each probe prints nothing when the machine can, else why not.
probe_32bit() {
    local error status
    trial
    write_i386_program >"$trial/exit42" && chmod +x "$trial/exit42"
    error=$("$trial/exit42" 2>&1 >/dev/null)
    status=$?
    [ "$status" -ne 42 ] || return 0
    error=${error##*: }
    # (Not grep -q: dmesg could die of SIGPIPE and fail the pipeline.)
    if dmesg 2>/dev/null | grep 'IA-32 emulation off' >/dev/null; then error="IA-32 emulation off"; fi
    echo "this machine runs no 32-bit programs (${error:-a 32-bit program exits with $status})"
}

probe_wine32() {
    local error
    error=$(reason 32bit)
    [ -z "$error" ] || { echo "$error"; return 0; }
    error=$(ZIRNA_WINE_ARCH=x86 "$here/wine.sh" --version 2>&1 >/dev/null) ||
        echo "the 32-bit Wine does not run here (${error##*: })"
}

probe_norandom() {
    local error
    error=$(setarch -R true 2>&1) || echo "address randomization cannot be turned off here (${error##*: })"
}

probe_readonly() {
    local error
    trial
    : >"$trial/file"
    if error=$(lock_file "$trial/file" 2>&1); then
        ! (: >>"$trial/file") 2>/dev/null || error="a file made read-only can still be written"
        unlock_file "$trial/file"
    fi
    [ -z "$error" ] || echo "no file can be made read-only here (${error%% while *})"
}

probe_mount() {
    local error
    trial
    mkdir "$trial/mount"
    error=$(mount -t tmpfs -o size=8k tmpfs "$trial/mount" 2>&1) && umount "$trial/mount"
    error=$(head -n 1 <<<"$error")
    [ -z "$error" ] || echo "no tmpfs can be mounted here (mount: ${error##*: })"
}

probe_display() {
    xdpyinfo >/dev/null 2>&1 || echo "there is no X display here (none answers on DISPLAY=${DISPLAY:-})"
}

# A capability is one that has a probe.
known() {
    declare -F "probe_$1" >/dev/null || { echo "machine.sh: unknown capability '$1'" >&2; return 2; }
}

# Why the machine cannot do $1, if it cannot: as settled, else as probed.
reason() {
    local setting="ZIRNA_CAN_${1^^}"
    case "${!setting:-}" in
    yes) ;;
    no) echo "this machine cannot do $1 ($setting=no)" ;;
    *) "probe_$1" ;;
    esac
}

case "${1:-}" in
can)
    known "${2:?capability}" || exit 2
    [ -z "$(reason "$2")" ]
    ;;
require)
    shift
    required=()
    while [ "${1:---}" != -- ]; do
        known "$1" || exit 2
        required+=("$1")
        shift
    done
    shift
    for capability in "${required[@]}"; do
        why=$(reason "$capability")
        [ -z "$why" ] || { echo "skipped: $why"; exit 77; }
    done
    exec "$@"
    ;;
lock) lock_file "${2:?file}" ;;
unlock) unlock_file "${2:?file}" ;;
*)
    echo "usage: machine.sh can CAP | require CAP... -- COMMAND... | lock|unlock FILE" >&2
    exit 2
    ;;
esac
