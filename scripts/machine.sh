#!/usr/bin/env bash
# What this machine can do for the build, the tests and the run command,
# found out by trying it, never from a package list:
#
#   32bit     it runs 32-bit x86 Linux programs (Wine's 32-bit loader is one)
#   wine32    Wine's 32-bit loader runs (installed, on a machine that can)
#   readonly  a file can be made read-only for this user (root: chattr +i)
#   mount     a tmpfs can be mounted (root with CAP_SYS_ADMIN)
#   display   an X display answers on $DISPLAY
#
#   machine.sh can CAP                     exit status 0 when it can
#   machine.sh why CAP                     why it cannot (nothing when it can)
#   machine.sh require CAP... -- COMMAND   runs COMMAND when it can do all of
#                                          them; else prints "skipped: why"
#                                          and exits 77 (CTest's skip code)
#   machine.sh export                      shell lines that settle every answer
#                                          (but display) for child processes
#   machine.sh lock|unlock FILE            makes FILE read-only for this user,
#                                          or writable again
#
# ZIRNA_CAN_<CAP>=yes|no (CAP in capitals, 32BIT for 32bit) gives the answer
# without trying, and ZIRNA_WHY_<CAP> the reason with a "no": so both paths
# can be taken on any machine, and a whole run asks each question once.
set -uo pipefail

readonly SkipCode=77
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Where the trials happen: the current directory (a test's own build
# directory, so a read-only file is tried on the file system the tests use),
# else the system's temporary directory.
trial_dir() {
    mktemp -d "$PWD/.machine-trial.XXXXXX" 2>/dev/null || mktemp -d
}

# A complete 32-bit x86 Linux program of 93 bytes: exit(42) through int 0x80.
# An ELF header, one loadable segment, then xor ebx,ebx; mov bl,42;
# mov eax,1; int 0x80.
write_i386_program() {
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$1"
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$1"
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$1"
    printf '\000\000\000\000' >>"$1"
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$1"
    printf '\137\000\000\000\137\000\000\000\005\000\000\000\000\020\000\000' >>"$1"
    printf '\061\333\263\052\270\001\000\000\000\315\200' >>"$1"
    chmod +x "$1"
}

# What the machine cannot do, said plainly; a probe adds why in brackets.
phrase() {
    case "$1" in
    32bit) echo "this machine runs no 32-bit programs" ;;
    wine32) echo "the 32-bit Wine does not run here" ;;
    readonly) echo "no file can be made read-only here" ;;
    mount) echo "no tmpfs can be mounted here" ;;
    display) echo "there is no X display here" ;;
    esac
}

# Each probe prints nothing when the machine can, else the reason.
probe_32bit() {
    local dir error status detail
    dir=$(trial_dir)
    write_i386_program "$dir/exit42"
    error=$("$dir/exit42" 2>&1 >/dev/null)
    status=$?
    rm -rf "$dir"
    [ "$status" -eq 42 ] && return 0
    detail=$(dmesg 2>/dev/null | grep -o 'IA-32 emulation off' | head -n 1)
    if [ -z "$detail" ]; then
        detail=${error##*: }
        [ -n "$detail" ] || detail="a 32-bit program exits with $status"
    fi
    echo "$(phrase 32bit) ($detail)"
}

# Makes a file read-only for this user, or writable again. Root writes
# through permission bits: only the immutable flag stops it.
lock_file() {
    if [ "$(id -u)" -eq 0 ]; then
        command -v chattr >/dev/null || {
            echo "chattr is not installed" >&2
            return 1
        }
        chattr +i "$1"
    else
        chmod a-w "$1"
    fi
}

unlock_file() {
    if [ "$(id -u)" -eq 0 ]; then
        chattr -i "$1"
    else
        chmod u+w "$1"
    fi
}

probe_wine32() {
    local why loader error
    why=$(reason 32bit)
    if [ -n "$why" ]; then
        echo "$why"
        return 0
    fi
    loader=/usr/lib/wine/wine
    [ -x "$loader" ] || loader=$(command -v wine) || loader=""
    if [ -z "$loader" ]; then
        error="wine32:i386 is not installed"
        if [ -s "$root/build/machine/wine32-failed" ]; then
            error="apt-get could not install wine32:i386: $(cat "$root/build/machine/wine32-failed")"
        fi
    elif ! error=$("$loader" --version 2>&1 >/dev/null); then
        error="$loader fails: ${error##*: }"
    else
        return 0
    fi
    echo "$(phrase wine32) ($error)"
}

probe_readonly() {
    local dir error
    dir=$(trial_dir)
    : >"$dir/file"
    if ! error=$(lock_file "$dir/file" 2>&1); then
        error=${error#chattr: }
        error="${error%% while *}; root without CAP_LINUX_IMMUTABLE, or a file system without the flag"
    elif (: >>"$dir/file") 2>/dev/null; then
        error="a file made read-only can still be written"
    else
        error=""
    fi
    unlock_file "$dir/file" 2>/dev/null
    rm -rf "$dir"
    [ -z "$error" ] || echo "$(phrase readonly) ($error)"
}

probe_mount() {
    local dir error
    dir=$(trial_dir)
    if [ "$(id -u)" -ne 0 ]; then
        error="not root"
    elif error=$(mount -t tmpfs -o size=8k tmpfs "$dir" 2>&1); then
        umount "$dir"
        error=""
    else
        error=$(echo "$error" | head -n 1)
        error=${error##*: }
        error="mount: ${error%.}; root without CAP_SYS_ADMIN"
    fi
    rmdir "$dir"
    [ -z "$error" ] || echo "$(phrase mount) ($error)"
}

probe_display() {
    if [ -z "${DISPLAY:-}" ]; then
        echo "$(phrase display) (DISPLAY is not set)"
    elif command -v xdpyinfo >/dev/null; then
        xdpyinfo >/dev/null 2>&1 || echo "$(phrase display) (no X server answers on $DISPLAY)"
    elif ! [ -S "/tmp/.X11-unix/X$(echo "${DISPLAY#*:}" | cut -d. -f1)" ]; then
        echo "$(phrase display) (no X server listens for $DISPLAY)"
    fi
}

# The reason the machine cannot do $1, or nothing: a settled answer from the
# environment first, else the probe.
reason() {
    local cap=$1 name answer why
    case "$cap" in
    32bit | wine32 | readonly | mount | display) ;;
    *)
        echo "machine.sh: unknown capability '$cap'" >&2
        exit 2
        ;;
    esac
    name=$(echo "$cap" | tr '[:lower:]' '[:upper:]')
    answer=$(eval "echo \${ZIRNA_CAN_$name:-}")
    why=$(eval "echo \${ZIRNA_WHY_$name:-}")
    case "$answer" in
    yes) ;;
    no) echo "${why:-$(phrase "$cap") (ZIRNA_CAN_$name=no)}" ;;
    *) "probe_$cap" ;;
    esac
}

case "${1:-}" in
can)
    [ -z "$(reason "${2:?capability}")" ]
    ;;
why)
    reason "${2:?capability}"
    ;;
require)
    shift
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        why=$(reason "$1")
        if [ -n "$why" ]; then
            echo "skipped: $why"
            exit $SkipCode
        fi
        shift
    done
    [ "${1:-}" = "--" ] && shift
    [ $# -gt 0 ] || exit 0
    exec "$@"
    ;;
lock)
    lock_file "${2:?file}"
    ;;
unlock)
    unlock_file "${2:?file}"
    ;;
export)
    for cap in 32bit wine32 readonly mount; do
        name=$(echo "$cap" | tr '[:lower:]' '[:upper:]')
        why=$(reason "$cap")
        printf 'export ZIRNA_CAN_%s=%s ZIRNA_WHY_%s=%q\n' "$name" "$([ -z "$why" ] && echo yes || echo no)" \
            "$name" "$why"
    done
    ;;
*)
    echo "usage: $0 can|why CAP | require CAP... -- COMMAND... | export | lock|unlock FILE" >&2
    exit 2
    ;;
esac
