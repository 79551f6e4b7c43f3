#!/usr/bin/env bash
# The whole test run: installs what is missing, then configures, builds and
# tests every preset (the host's model tests, then the Windows builds with
# their tests under Wine in a private Xvfb display).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

presets=(host windows windows-x86)
for preset in "${presets[@]}"; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
