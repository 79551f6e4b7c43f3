# shellcheck shell=bash
# How a command says why it stopped, and ends what it started: the one
# place. Every command sources it first, after errexit and inherit_errexit.
#   step WHAT COMMAND...   COMMAND, its output kept in $step_log and shown
#                          after "NAME: WHAT failed (exit status N):"
#   job COMMAND...         COMMAND as a job, waited for (a signal cuts the
#                          wait short, which it would not in the foreground)
#   own PID                PID's process group ends with the command
#   hold FILE [-s] [-n]    FILE's lock (shared with -s; -n: fail at once if
#                          taken) until the command ends or `kill $held`; a
#                          child holds it, so it goes however the command ends
#   waiting FILE WHAT [-s] hold, saying what it waits for
#   $tmp                   a directory for the command's temporary files
# Jobs get process groups of their own (set -m), with Ctrl-C's default
# action. However the command ends, its groups get TERM, KILL 5 s later;
# then session_end (session.sh) runs and $tmp goes. A zombie counts as
# ended: a container's PID 1 may reap nothing. A step is never a condition:
# there bash would ignore a failure inside a function that it runs.
set -m
tmp=$(mktemp -d)
owned=()
holders=()
held=""

# (Only where errexit holds: elsewhere a failure does not stop anything.)
stopped() {
    [[ $- != *e* ]] || echo "$(basename "$0" .sh): stopped at: $BASH_COMMAND (exit status $1)" >&2
}
set -o errtrace
trap 'stopped $?' ERR

own() { owned+=("$1"); }

job() {
    "$@" &
    own $!
    wait $!
}

# Whether a process of the groups given is alive.
running() {
    local stat fields
    for stat in /proc/[0-9]*/stat; do
        read -r fields 2>/dev/null <"$stat" || continue
        read -r -a fields <<<"${fields##*) }"
        [ "${fields[0]}" = Z ] || [[ " $* " != *" ${fields[2]} "* ]] || return 0
    done
    return 1
}

command_end() {
    local status=$?
    set +e +m
    if [ ${#owned[@]} -gt 0 ]; then
        kill -TERM -- "${owned[@]/#/-}" 2>/dev/null
        for _ in {1..50}; do running "${owned[@]}" || break; sleep 0.1; done
        kill -KILL -- "${owned[@]/#/-}" 2>/dev/null
        wait "${owned[@]}" 2>/dev/null
    fi
    ! declare -F session_end >/dev/null || session_end
    kill "${holders[@]}" 2>/dev/null
    rm -rf "$tmp"
    exit "$status"
}
trap command_end EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

step() {
    local what=$1 status=0
    shift
    step_log=$(mktemp "$tmp/step.XXXXXX")
    # (In the background, where errexit still holds inside a function.)
    job "$@" </dev/null >"$step_log" 2>&1 || status=$?
    unset 'owned[-1]'
    if [ "$status" -ne 0 ]; then
        echo "$(basename "$0" .sh): $what failed (exit status $status):" >&2
        cat "$step_log" >&2
    fi
    return "$status"
}

hold() {
    local ready line=""
    # (The lock is on the file as opened here, which tail keeps open.)
    exec {ready}< <(exec {lock}>>"$1" && flock "${@:2}" $lock && echo held &&
        exec tail -s 0.2 -f --pid=$$ /dev/null >/dev/null)
    held=$!
    holders+=("$held")
    read -r -u "$ready" line || true
    exec {ready}<&-
    [ "$line" = held ]
}

waiting() {
    mkdir -p "$(dirname "$1")"
    hold "$1" -n "${@:3}" && return
    echo "$(basename "$0" .sh): waiting for $2, which another command is using ..." >&2
    hold "$1" "${@:3}"
}
