#!/usr/bin/env bash
# Makes the release packages zirna-<version>-win64.zip and
# zirna-<version>-win32.zip in dist/: each holds zirna.exe, zirna-mirror.exe
# and a README for Windows users. Two runs on one tree give identical zips.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
mkdir -p dist
for preset in windows windows-x86; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target zip
    cp "build/$preset"/zirna-*.zip dist/
done
(cd dist && sha256sum zirna-*.zip)
