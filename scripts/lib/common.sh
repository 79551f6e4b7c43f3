# shellcheck shell=bash
# Sourced by the run, browser, screenshot and benchmark commands: the
# programs alone (the "programs" preset), and the session that runs them.
# Their build tree and Wine prefixes lie in ZIRNA_BUILD, the checkout's
# build/ unless set (a container's own place, apart from the host's).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
builds=${ZIRNA_BUILD:-$root/build}
build=$builds/programs
# shellcheck source=session.sh
source "$root/scripts/lib/session.sh"

# build_programs PURPOSES TARGETS...: what they need installed, then the
# targets built, by one command at a time.
build_programs() {
    # shellcheck disable=SC2086 # several purposes, one word each
    job "$root/scripts/install-deps.sh" $1
    shift
    waiting "$build.lock" "the build tree $build"
    step "configuring the programs" cmake --preset programs -S "$root" -B "$build"
    step "building $*" cmake --build "$build" --target "$@"
    kill "$held"
}

program_path() {
    case "$1" in
    zirna) echo "$build/editor/zirna.exe" ;;
    zirna-mirror) echo "$build/mirror/zirna-mirror.exe" ;;
    *) echo "unknown program '$1' (zirna or zirna-mirror)" >&2; return 1 ;;
    esac
}
