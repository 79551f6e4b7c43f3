# Shared by the run, screenshot and benchmark commands: a Windows build of the
# programs (no tests: the "programs" preset) and Wine for them.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/programs"
export WINE="$root/scripts/wine.sh" WINEDEBUG=-all

# Installs what the purposes need (see install-deps.sh) and builds the given
# targets: build_programs PURPOSES TARGETS... The build's output is shown only
# when it fails.
build_programs() {
    local purposes=$1 log
    shift
    # shellcheck disable=SC2086 # several purposes, one word each
    "$root/scripts/install-deps.sh" $purposes
    log=$(mktemp)
    if ! cmake --preset programs -S "$root" >"$log" 2>&1 ||
        ! cmake --build "$build" --target "$@" >>"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "The build failed." >&2
        return 1
    fi
    rm -f "$log"
}

program_path() {
    case "$1" in
    zirna) echo "$build/editor/zirna.exe" ;;
    zirna-mirror) echo "$build/mirror/zirna-mirror.exe" ;;
    *) echo "unknown program '$1' (zirna or zirna-mirror)" >&2; return 1 ;;
    esac
}

# A display number that no X server uses.
free_display() {
    local n=50
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    echo ":$n"
}
