#!/usr/bin/env bash
# Builds the programs and the release zip twice, from two clean copies of the
# source in two different directories, and checks that the results are
# identical byte for byte. Prints the SHA-256 of each.
#
#   reproducible.sh SOURCE_DIR TOOLCHAIN_FILE
set -euo pipefail
source_dir=$1
toolchain=$2
work=$(mktemp -d /tmp/zirna-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT

copy_source() {
    mkdir -p "$1"
    (cd "$source_dir" && git ls-files -co --exclude-standard -z 2>/dev/null ||
        find . -path ./build -prune -o -type f -print0) |
        (cd "$source_dir" && xargs -0 cp --parents -t "$1")
}

build() {
    local tree=$1
    copy_source "$tree/source"
    # The build's output is shown only when it fails.
    if ! cmake -S "$tree/source" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$tree/source/${toolchain#"$source_dir"/}" >"$tree/build.log" 2>&1 ||
        ! cmake --build "$tree/build" --target zirna zirna-mirror zip >>"$tree/build.log" 2>&1; then
        cat "$tree/build.log" >&2
        exit 1
    fi
    (cd "$tree/build" && sha256sum editor/zirna.exe mirror/zirna-mirror.exe zirna-*.zip)
}

first=$(build "$work/first")
second=$(build "$work/second/a/longer/path/elsewhere")
echo "$first"
if [ "$first" != "$second" ]; then
    echo "the second build differs:" >&2
    echo "$second" >&2
    exit 1
fi
echo "two builds in different directories are identical"
