#!/usr/bin/env bash
# Where address randomization stays on, a Wine start that fails to map the
# shared user data is made again (scripts/lib/wine.sh), and a Wine prefix in
# whose making one of Wine's own processes failed so is made again
# (scripts/lib/session.sh): shared_data_taken.c makes those starts fail.
#   wine_retry.sh SCRIPTS_DIR TEST.exe
set -euo pipefail
shopt -s inherit_errexit
scripts=$1 test=$2
rm -rf retry
mkdir -p retry
# (TMPDIR: the folders of the new prefixes' wineservers go with them.)
export ZIRNA_CAN_NORANDOM=no WINEPREFIX=$PWD/retry/prefix SHARED_DATA_COUNT=$PWD/retry/count TMPDIR=$PWD/retry
cc -shared -fPIC -O2 -o retry/taken.so "$(dirname "$0")/shared_data_taken.c"
# run TAKEN WHO COMMAND...: COMMAND's exit status and how often it was made again
run() {
    local status=0
    rm -f "$SHARED_DATA_COUNT"
    LD_PRELOAD=$PWD/retry/taken.so SHARED_DATA_TAKEN=$1 SHARED_DATA_WHO=$2 "${@:3}" >/dev/null 2>retry/errors || status=$?
    echo "$status $(grep -c 'starting it again' retry/errors)"
}
# shellcheck source=../../scripts/lib/session.sh
source "$scripts/lib/session.sh"
session_prefix shared 2>/dev/null
test_case=(--test-case="the default pose")
[ "$(run 2 model_tests "$WINE" "$test" "${test_case[@]}")" = "0 2" ] || { echo "not made again" >&2; exit 1; }
[ "$(run 9 model_tests "$WINE" "$test" "${test_case[@]}")" = "1 3" ] || { echo "made again endlessly" >&2; exit 1; }
[ "$(ZIRNA_TEST_EXIT_STATUS=1 run 0 - "$WINE" "$test" "${test_case[@]}")" = "1 0" ] ||
    { echo "a start that failed otherwise was made again" >&2; exit 1; }
echo "wine.sh: a start made again after failing to map the shared user data, and no other"
# services.exe failing so while the prefix is made: the prefix lacks the
# drivers that it installs, unless it is made again.
export WINEPREFIX=$PWD/retry/second
LD_PRELOAD=$PWD/retry/taken.so SHARED_DATA_WHO=services.exe session_prefix shared 2>/dev/null
if [ "$(cat "$SHARED_DATA_COUNT")" != 1 ] || [ ! -f "$WINEPREFIX/drive_c/windows/inf/input.pnf" ]; then
    echo "the prefix was not made again" >&2
    exit 1
fi
echo "session.sh: a prefix made again after services.exe failed to start"
