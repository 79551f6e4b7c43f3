#!/usr/bin/env bash
# The test command: installs what is missing, then configures, builds and
# tests each preset (all of them unless named): the host's model tests, then
# the Windows builds, whose tests run under Wine in a display and a Wine
# prefix of the build tree's own (scripts/lib/session.sh). Tests that this
# machine cannot run are skipped, each with its reason, and the run ends
# with one line per reason; it fails only when a test that ran failed.
#
#   scripts/test.sh [host|windows|windows-x86]...
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/session.sh
source scripts/lib/session.sh

scripts/install-deps.sh test
presets=("$@")
[ $# -gt 0 ] || presets=(host windows windows-x86)
failed=()
results=()
for preset in "${presets[@]}"; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    junit=$PWD/build/$preset/test-results.xml
    rm -f "$junit"
    case "$preset" in
    windows) label=x64 ;;
    windows-x86) label=x86 ;;
    *) label=$preset ;;
    esac
    # Where the 32-bit Wine cannot run, the x86 Wine tests skip themselves,
    # and the rest needs no session.
    if [ "$label" = x64 ] || { [ "$label" = x86 ] && scripts/lib/machine.sh can wine32; }; then
        export ZIRNA_WINE_ARCH=$label WINEPREFIX=$PWD/build/$preset/wine/prefix
        session_start 1024x768x24
    fi
    session_spawn ctest --preset "$preset" --output-junit "$junit"
    wait $! || failed+=("$preset")
    session_end
    [ ! -f "$junit" ] || results+=("$label=$junit")
done

echo
[ ${#failed[@]} -eq 0 ] || echo "Tests failed in: ${failed[*]}"
python3 scripts/lib/skipped.py "${results[@]}"
[ ${#failed[@]} -eq 0 ]
