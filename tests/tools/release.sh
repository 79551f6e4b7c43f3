#!/usr/bin/env bash
# The release packages as the release workflow makes them: a tag that is not
# the version is refused before anything is built; with the version's tag,
# scripts/package.sh builds each zip twice and compares them, and writes a
# SHA256SUMS that checks; and the zip of this build's architecture holds the
# very programs that this build tree tested.
#
#   release.sh PACKAGE.SH VERSION ZIP_NAME PROGRAM.exe...
set -euo pipefail
shopt -s inherit_errexit
package=$1 version=$2 zip=$3
shift 3
export ZIRNA_DIST=$PWD/release
rm -rf "$ZIRNA_DIST"
if refused=$("$package" v0.0.0-not-the-version 2>&1) || [[ $refused != *"is not the version"* ]] ||
    [ -e "$ZIRNA_DIST" ]; then
    echo "a tag that is not the version was not refused: $refused" >&2
    exit 1
fi
"$package" "v$version"
(cd "$ZIRNA_DIST" && sha256sum -c SHA256SUMS)
python3 -m zipfile -e "$ZIRNA_DIST/$zip" "$ZIRNA_DIST/unpacked"
for program in "$@"; do
    cmp "$program" "$ZIRNA_DIST/unpacked/$(basename "$program")"
done
echo "the programs in $zip are the ones built here"
