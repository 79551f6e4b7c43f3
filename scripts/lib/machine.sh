#!/usr/bin/env bash
# What this machine can do: the one place that decides it, by trying, never
# from a package list. The capabilities:
#
#   32bit     it runs 32-bit x86 Linux programs at all (some kernels do not)
#   wine32    Wine's 32-bit loader runs (installed, on a machine that can)
#   readonly  a file can be made read-only for this user (as root: chattr +i)
#   mount     a tmpfs can be mounted (root with CAP_SYS_ADMIN)
#   display   an X display answers on $DISPLAY
#
#   machine.sh why CAP                     why it cannot; nothing when it can
#   machine.sh can CAP                     exit status 0 when it can
#   machine.sh require CAP... -- COMMAND   runs COMMAND when it can do all of
#                                          them, else prints "skipped: why"
#                                          and exits 77 (CTest's skip code)
#   machine.sh lock|unlock FILE            makes FILE read-only for this user,
#                                          or writable again
#
# A capability that is not one of these is an error (exit 2), so a misspelt
# requirement fails its test at once. ZIRNA_CAN_<CAP>=yes|no (CAP in
# capitals) answers without trying, so every path can be taken anywhere.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Trials happen in the current directory (a test's own, so a read-only file
# is tried on the file system the tests use), else in the temporary one.
trial_dir() { mktemp -d "$PWD/.machine-trial.XXXXXX" 2>/dev/null || mktemp -d; }

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
    local dir error status
    dir=$(trial_dir)
    write_i386_program >"$dir/exit42" && chmod +x "$dir/exit42"
    error=$("$dir/exit42" 2>&1 >/dev/null)
    status=$?
    rm -rf "$dir"
    [ "$status" -ne 42 ] || return 0
    error=${error##*: }
    # (grep reads all: with -q, dmesg could die of SIGPIPE and fail the pipeline.)
    if dmesg 2>/dev/null | grep 'IA-32 emulation off' >/dev/null; then error="IA-32 emulation off"; fi
    echo "this machine runs no 32-bit programs (${error:-a 32-bit program exits with $status})"
}

probe_wine32() {
    local error
    error=$(reason 32bit)
    [ -z "$error" ] || { echo "$error"; return 0; }
    error=$(ZIRNA_WINE_ARCH=x86 "$here/wine.sh" --version 2>&1 >/dev/null) && return 0
    echo "the 32-bit Wine does not run here (${error##*: })"
}

probe_readonly() {
    local dir error=""
    dir=$(trial_dir)
    : >"$dir/file"
    if ! error=$(lock_file "$dir/file" 2>&1); then
        error="${error%% while *}; root without CAP_LINUX_IMMUTABLE, or a file system without the flag"
    elif (: >>"$dir/file") 2>/dev/null; then
        error="a file made read-only can still be written"
    fi
    unlock_file "$dir/file" 2>/dev/null
    rm -rf "$dir"
    [ -z "$error" ] || echo "no file can be made read-only here (${error#chattr: })"
}

probe_mount() {
    local dir error="not root"
    dir=$(trial_dir)
    if [ "$(id -u)" -eq 0 ] && ! error=$(mount -t tmpfs -o size=8k tmpfs "$dir" 2>&1); then
        error=$(echo "$error" | head -n 1)
        error="mount: ${error##*: }; root without CAP_SYS_ADMIN"
    elif [ "$(id -u)" -eq 0 ]; then
        umount "$dir"
        error=""
    fi
    rmdir "$dir"
    [ -z "$error" ] || echo "no tmpfs can be mounted here ($error)"
}

probe_display() {
    if [ -z "${DISPLAY:-}" ]; then
        echo "there is no X display here (DISPLAY is not set)"
    elif ! xdpyinfo >/dev/null 2>&1; then
        echo "there is no X display here (none answers on $DISPLAY)"
    fi
}

# Why the machine cannot do $1 (nothing when it can): a settled answer from
# the environment first, else the probe.
reason() {
    case "$1" in
    32bit | wine32 | readonly | mount | display) ;;
    *) echo "machine.sh: unknown capability '$1'" >&2; return 2 ;;
    esac
    local setting="ZIRNA_CAN_${1^^}"
    case "${!setting:-}" in
    yes) ;;
    no) echo "this machine cannot do $1 ($setting=no)" ;;
    *) "probe_$1" ;;
    esac
}

case "${1:-}" in
why) reason "${2:?capability}" ;;
can)
    why=$(reason "${2:?capability}") || exit 2
    [ -z "$why" ]
    ;;
require)
    shift
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        why=$(reason "$1") || exit 2
        if [ -n "$why" ]; then
            echo "skipped: $why"
            exit 77
        fi
        shift
    done
    shift
    exec "$@"
    ;;
lock) lock_file "${2:?file}" ;;
unlock) unlock_file "${2:?file}" ;;
*)
    echo "usage: machine.sh why|can CAP | require CAP... -- COMMAND... | lock|unlock FILE" >&2
    exit 2
    ;;
esac
