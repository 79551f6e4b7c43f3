#!/usr/bin/env bash
# Makes the release packages zirna-<version>-win64.zip and -win32.zip and
# their SHA256SUMS in dist/ (or ZIRNA_DIST). Each zip is built twice, from
# copies of the source in two directories, which must agree byte for byte.
#   scripts/package.sh [TAG]
# With a release's TAG, nothing is built unless it is "v" and the version of
# CMakeLists.txt's project() line, the one place the version lives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(zirna VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
if [ $# -gt 0 ] && [ "$1" != "v$version" ]; then
    echo "package: the tag $1 is not the version of CMakeLists.txt, $version" >&2
    exit 1
fi
"$root/scripts/install-deps.sh" package
dist=$(realpath -m "${ZIRNA_DIST:-$root/dist}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Both zips from a copy of the source at $1 (the build's output on failure).
build() {
    local preset log
    mkdir -p "$1"
    (cd "$root" && git ls-files -z -co --exclude-standard | xargs -0 cp --parents -t "$1")
    for preset in programs programs-x86; do
        if ! log=$(cmake --preset $preset -S "$1" 2>&1 && cmake --build "$1/build/$preset" --target zip 2>&1); then
            echo "$log" >&2
            exit 1
        fi
    done
    (cd "$1/build" && sha256sum programs*/zirna-*.zip)
}
first=$(build "$work/first")
if [ "$first" != "$(build "$work/second/in/another/place")" ]; then
    echo "package: two builds of the same source differ:" >&2
    echo "$first" >&2
    exit 1
fi
mkdir -p "$dist"
cp "$work"/first/build/programs*/zirna-*.zip "$dist/"
cd "$dist"
sha256sum "zirna-$version-win64.zip" "zirna-$version-win32.zip" >SHA256SUMS
cat SHA256SUMS
