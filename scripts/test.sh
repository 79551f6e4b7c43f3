#!/usr/bin/env bash
# The test command: installs what is missing, then configures, builds and
# tests each preset (all unless named): the host's, then the Windows builds
# under Wine, in a display and Wine prefix of the build tree's own. Tests
# this machine cannot run are skipped, each with its reason, and the run
# ends with one line per reason. It fails only when a test that ran failed.
#   scripts/test.sh [host|windows|windows-x86]...
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/session.sh
source scripts/lib/session.sh

scripts/install-deps.sh test
presets=("$@")
[ $# -gt 0 ] || presets=(host windows windows-x86)
failed=()
skips=$(mktemp)
for preset in "${presets[@]}"; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    label=${preset/windows-x86/x86}
    label=${label/windows/x64}
    # (Where the 32-bit Wine cannot run, the x86 Wine tests skip themselves.)
    if [ "$label" = x64 ] || { [ "$label" = x86 ] && scripts/lib/machine.sh can wine32; }; then
        export ZIRNA_WINE_ARCH=$label WINEPREFIX=$PWD/build/$preset/wine/prefix
        session_start 1024x768x24
    fi
    session_spawn ctest --preset "$preset"
    wait $! || failed+=("$preset")
    session_end
    # The reason each skipped test printed.
    awk -v label="$label" '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
        /^skipped: / { print label "\t" name "\t" substr($0, 10) }' \
        "build/$preset/Testing/Temporary/LastTest.log" >>"$skips"
done

echo
[ ${#failed[@]} -eq 0 ] || echo "Tests failed in: ${failed[*]}"
sed -E 's/^[^\t]*\t([^\t]*)\t/Skipped \1: /' "$skips"
cut -f 1,3 "$skips" | sort | uniq -c |
    sed -E 's/^ *([0-9]+) ([^\t]*)\t/\2: \1 tests skipped: /; s/: 1 tests /: 1 test /'
[ -s "$skips" ] || echo "Every test ran."
rm -f "$skips"
[ ${#failed[@]} -eq 0 ]
