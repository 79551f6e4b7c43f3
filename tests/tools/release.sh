#!/usr/bin/env bash
# The release packages as the release workflow makes them: a tag that is not
# the version is refused before anything is built; with the version's tag,
# scripts/package.sh builds each zip twice and compares them, and writes a
# SHA256SUMS that checks; the zip of this build's architecture holds, byte
# for byte, the programs that this build tree tested, and a tested program
# altered on purpose is named; the files for Windows are named from the
# native test file, and a missing one is named.
#   release.sh SCRIPTS_DIR VERSION ZIP_NAME BUILD_DIR
set -euo pipefail
shopt -s inherit_errexit
scripts=$1 version=$2 zip=$3 build=$4
export ZIRNA_DIST=$PWD/release
rm -rf "$ZIRNA_DIST" altered
if refused=$("$scripts/package.sh" v0.0.0-not-the-version 2>&1) || [[ $refused != *"is not the version"* ]] ||
    [ -e "$ZIRNA_DIST" ]; then
    echo "a tag that is not the version was not refused: $refused" >&2
    exit 1
fi
"$scripts/package.sh" "v$version"
(cd "$ZIRNA_DIST" && sha256sum -c SHA256SUMS)
"$scripts/tested-programs.sh" "$ZIRNA_DIST/$zip" "$build"

# Fails, naming $1, when run with the rest.
names() {
    local said
    if said=$("${@:2}" 2>&1) || [[ $said != *"$1"* ]]; then
        echo "not stopped, naming $1: $said" >&2
        exit 1
    fi
    echo "stopped, as it should: $said"
}
mkdir -p altered/editor altered/mirror
cp "$build/editor/zirna.exe" altered/editor/
cp "$build/mirror/zirna-mirror.exe" altered/mirror/
printf '\1' | dd of=altered/mirror/zirna-mirror.exe bs=1 seek=1000 conv=notrunc status=none
names "zirna-mirror.exe of $ZIRNA_DIST/$zip differs" "$scripts/tested-programs.sh" "$ZIRNA_DIST/$zip" altered
mkdir -p altered/native altered/tests
cp "$build"/native/*.cmake altered/native/
cp "$build"/tests/*.exe altered/tests/
rm altered/tests/zirna_tests.exe
names "altered/tests/zirna_tests.exe is missing" "$scripts/windows-files.sh" altered
"$scripts/windows-files.sh" "$build" >/dev/null
echo "the programs in $zip are the ones built here"
