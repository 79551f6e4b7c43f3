#!/usr/bin/env bash
# The test command: installs what is missing, then configures, builds and
# tests each preset (all unless named): the host's, then the Windows builds
# under Wine, in a display and Wine prefix of the build tree's own. Tests
# this machine cannot run are skipped, each with its reason, and the run
# ends with one line per reason. It fails only when a test that ran failed.
#   scripts/test.sh [host|windows|windows-x86]... [-- CTEST_ARGUMENTS...]
# The words after -- go to every ctest run, for example to run one test
# again and again in its session:
#   scripts/test.sh windows -- -R mirror_tests --repeat until-fail:20
# One test command runs in a checkout at a time: a second one waits.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
# shellcheck source=lib/session.sh
source scripts/lib/session.sh

presets=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    presets+=("$1")
    shift
done
[ $# -eq 0 ] || shift
[ ${#presets[@]} -gt 0 ] || presets=(host windows windows-x86)

# The build trees and their Wine prefixes are the checkout's own: one test
# command at a time uses them.
waiting build/test.lock "the build trees of the test command"
job scripts/install-deps.sh test
failed=()
skips=$tmp/skips
for preset in "${presets[@]}"; do
    echo "== $preset"
    step "configuring the $preset preset" cmake --preset "$preset"
    job cmake --build --preset "$preset"
    label=${preset/windows-x86/x86}
    label=${label/windows/x64}
    # (Where the 32-bit Wine cannot run, the x86 Wine tests skip themselves.)
    if [ "$label" = x64 ] || { [ "$label" = x86 ] && scripts/lib/machine.sh can wine32; }; then
        export ZIRNA_WINE_ARCH=$label WINEPREFIX=$PWD/build/$preset/wine/prefix
        # A wineserver left in the prefix by a run killed outright ends first.
        wineserver_end
        session_start 1024x768x24
    fi
    junit=$PWD/build/$preset/Testing/results.xml
    rm -f "$junit"
    session_spawn ctest --preset "$preset" --output-junit "$junit" "$@"
    wait $! || failed+=("$preset")
    session_end
    # The reason that each skipped test gave, from CTest's JUnit report.
    /usr/bin/python3 - "$label" "$junit" >>"$skips" <<'REPORT'
import sys
import xml.etree.ElementTree as tree
label, junit = sys.argv[1:]
for case in tree.parse(junit).iter("testcase"):
    if case.get("status") == "notrun":
        output = case.findtext("system-out") or ""
        why = [line[len("skipped: "):] for line in output.splitlines() if line.startswith("skipped: ")]
        print(f"{label}\t{case.get('name')}\t{why[0] if why else 'no reason given'}")
REPORT
done

echo
[ ${#failed[@]} -eq 0 ] || echo "Tests failed in: ${failed[*]}"
sed -E 's/^[^\t]*\t([^\t]*)\t/Skipped \1: /' "$skips"
cut -f 1,3 "$skips" | sort | uniq -c |
    sed -E 's/^ *([0-9]+) ([^\t]*)\t/\2: \1 tests skipped: /; s/: 1 tests /: 1 test /'
[ -s "$skips" ] || echo "No test was skipped."
if [ ${#failed[@]} -gt 0 ]; then exit 1; fi
