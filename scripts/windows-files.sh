#!/usr/bin/env bash
# The files of a Windows build tree that the Windows jobs take: its native
# test file, every executable that the file runs, and the FILEs named here
# (relative to the tree), each checked. Prints them, one a line; a missing
# one stops the command, named.
#   scripts/windows-files.sh BUILD_DIR [FILE...]
set -euo pipefail
shopt -s inherit_errexit
build=$1
shift
native=$build/native/CTestTestfile.cmake
[ -f "$native" ] || { echo "windows-files: $native is missing" >&2; exit 1; }
# (The file names them relative to itself: ../tests/model_tests.exe.)
mapfile -t run < <(grep -o '\.\./[A-Za-z0-9_./-]*\.exe' "$native" | sort -u)
[ ${#run[@]} -gt 0 ] || { echo "windows-files: $native runs no executable" >&2; exit 1; }
for file in native/CTestTestfile.cmake native/RunTest.cmake "${run[@]#../}" "$@"; do
    [ -f "$build/$file" ] || { echo "windows-files: $build/$file is missing" >&2; exit 1; }
    echo "$build/$file"
done
