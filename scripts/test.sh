#!/usr/bin/env bash
# The whole test run: installs what is missing, then configures, builds and
# tests every preset (the host's model tests, then the Windows builds with
# their tests under Wine in a private Xvfb display). Tests that this machine
# cannot run are reported as skipped, each with its reason, and the run ends
# with one line per reason; it fails only when a test that ran failed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
# Each question about the machine is asked once, for the whole run.
eval "$(scripts/machine.sh export)"

failed=()
summary=()
for preset in host windows windows-x86; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    junit="$PWD/build/$preset/test-results.xml"
    rm -f "$junit"
    ctest --preset "$preset" --output-junit "$junit" || failed+=("$preset")
    case "$preset" in
    host) label=host ;;
    windows) label=x64 ;;
    windows-x86) label=x86 ;;
    esac
    if [ -f "$junit" ]; then
        python3 scripts/skipped.py tests "$junit"
        while IFS= read -r line; do summary+=("$line"); done \
            < <(python3 scripts/skipped.py summary "$label" "$junit")
    fi
done

echo
[ ${#failed[@]} -eq 0 ] || echo "Tests failed in: ${failed[*]}"
[ ${#summary[@]} -eq 0 ] && echo "Every test ran."
for line in "${summary[@]}"; do echo "$line"; done
[ ${#failed[@]} -eq 0 ]
