# shellcheck shell=bash
# Sourced by the run, browser, screenshot and benchmark commands: the
# programs alone (the "programs" preset), and the session that runs them.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$root/build/programs
# shellcheck source=session.sh
source "$root/scripts/lib/session.sh"

# build_programs PURPOSES TARGETS...: what they need installed, then the
# targets built (the build's output on failure).
build_programs() {
    local log
    # shellcheck disable=SC2086 # several purposes, one word each
    "$root/scripts/install-deps.sh" $1
    shift
    if ! log=$(cmake --preset programs -S "$root" 2>&1 && cmake --build "$build" --target "$@" 2>&1); then
        echo "$log" >&2
        return 1
    fi
}

program_path() {
    case "$1" in
    zirna) echo "$build/editor/zirna.exe" ;;
    zirna-mirror) echo "$build/mirror/zirna-mirror.exe" ;;
    *) echo "unknown program '$1' (zirna or zirna-mirror)" >&2; return 1 ;;
    esac
}
