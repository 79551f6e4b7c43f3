# shellcheck shell=bash
# How a command says why it stopped: the one place. Sourced, it names the
# command at which a failure stops the command that sourced it (which sets
# `shopt -s inherit_errexit`, so that a failure inside $(...) stops it too);
# and it gives
#   step WHAT COMMAND...   COMMAND run with its output kept aside, which is
#                          shown only when it fails, after "NAME: WHAT failed
#                          (exit status N):"; returns COMMAND's status
# A step is called where a failure stops the command, not as a condition:
# there bash would ignore a failure inside a function that it runs.

# (Only where errexit holds: elsewhere a failure does not stop anything.)
stopped() {
    [[ $- != *e* ]] || echo "$(basename "$0" .sh): stopped at: $BASH_COMMAND (exit status $1)" >&2
}
set -o errtrace
trap 'stopped $?' ERR

step() {
    local what=$1 log status=0
    shift
    log=$(mktemp)
    # (In the background, where errexit still holds inside a function.)
    "$@" </dev/null >"$log" 2>&1 &
    wait $! || status=$?
    if [ "$status" -ne 0 ]; then
        echo "$(basename "$0" .sh): $what failed (exit status $status):" >&2
        cat "$log" >&2
    fi
    rm -f "$log"
    return "$status"
}
