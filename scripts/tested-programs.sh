#!/usr/bin/env bash
# Whether the programs in a release zip are, byte for byte, the ones that the
# tests ran: each exe in the zip against the exe of that name in the tested
# build tree, by SHA-256. A difference, or a program that either lacks, stops
# the command, naming the file and both hashes.
#   scripts/tested-programs.sh ZIP TESTED_BUILD_DIR
set -euo pipefail
shopt -s inherit_errexit
zip=$1 tested=$2
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
python3 -m zipfile -e "$zip" "$unpacked"
count=0
for exe in "$unpacked"/*.exe; do
    name=$(basename "$exe")
    mapfile -t found < <(find "$tested" -name "$name" -not -path "*/native/*")
    if [ ${#found[@]} -ne 1 ]; then
        echo "tested-programs: $name of $zip is not once in $tested (found: ${found[*]:-none})" >&2
        exit 1
    fi
    read -r released _ < <(sha256sum "$exe")
    read -r ran _ < <(sha256sum "${found[0]}")
    if [ "$released" != "$ran" ]; then
        echo "tested-programs: $name of $zip differs from the tested ${found[0]}:" \
            "SHA-256 $released in the zip, $ran tested" >&2
        exit 1
    fi
    count=$((count + 1))
done
[ $count -gt 0 ] || { echo "tested-programs: $zip holds no program" >&2; exit 1; }
echo "tested-programs: the $count programs of $(basename "$zip") are the tested ones"
