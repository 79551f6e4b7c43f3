#!/usr/bin/env bash
# Makes the release packages zirna-<version>-win64.zip and -win32.zip and
# their SHA256SUMS in dist/ (or ZIRNA_DIST). Each zip is built twice, from
# copies of the source in two directories, which must agree byte for byte.
#   scripts/package.sh [TAG]
# With a release's TAG, nothing is built unless it is "v" and the version of
# CMakeLists.txt's project() line, the one place the version lives.
set -euo pipefail
shopt -s inherit_errexit
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(zirna VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
if [ $# -gt 0 ] && [ "$1" != "v$version" ]; then
    echo "package: the tag $1 is not the version of CMakeLists.txt, $version" >&2
    exit 1
fi
# shellcheck source=lib/step.sh
source "$root/scripts/lib/step.sh"
job "$root/scripts/install-deps.sh" package
dist=$(realpath -m "${ZIRNA_DIST:-$root/dist}")
work=$tmp

# The checkout's files, tracked or not but not ignored, copied to $1. (The
# checkout may belong to another user, as a CI container's does: git is
# told that this one is safe.)
copy_source() {
    cd "$root"
    git -c safe.directory="$root" ls-files -z -co --exclude-standard | xargs -0 cp --parents -t "$1"
}

# Both zips from a copy of the source at $1.
build() {
    local preset
    mkdir -p "$1"
    step "copying the source to $1" copy_source "$1"
    for preset in programs programs-x86; do
        step "configuring $preset in $1" cmake --preset $preset -S "$1"
        step "building the $preset zip in $1" cmake --build "$1/build/$preset" --target zip
    done
}
sums() { (cd "$1/build" && sha256sum programs*/zirna-*.zip); }
build "$work/first"
build "$work/second/in/another/place"
first=$(sums "$work/first")
second=$(sums "$work/second/in/another/place")
if [ "$first" != "$second" ]; then
    printf '%s\n' "package: two builds of the same source differ:" "$first" "$second" >&2
    exit 1
fi
mkdir -p "$dist"
cp "$work"/first/build/programs*/zirna-*.zip "$dist/"
cd "$dist"
sha256sum "zirna-$version-win64.zip" "zirna-$version-win32.zip" >SHA256SUMS
cat SHA256SUMS
