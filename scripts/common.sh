# Shared by the run and screenshot commands: a Windows build of the programs
# and a private, quiet Wine session for them.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/windows"
export WINE=/usr/lib/wine/wine64 WINEDEBUG=-all

# Installs what is missing and builds the given targets of the Windows
# preset (by default both programs and the probe).
build_programs() {
    "$root/scripts/install-deps.sh"
    cmake --preset windows -S "$root" >/dev/null
    local targets=("$@")
    [ ${#targets[@]} -gt 0 ] || targets=(zirna zirna-mirror zirna-probe)
    cmake --build "$build" --target "${targets[@]}" >/dev/null
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
