#!/usr/bin/env bash
# zirna's benchmarks: zirna.exe (A) against the empty-window baseline
# zirna-baseline.exe (B), run in turn, pair after pair, in a private Xvfb
# display and Wine prefix, the whole run pinned to one CPU. Prints one table
# of medians and their ratios A/B, with the date and the machine.
#
#   bench/run.sh
#
# On Windows itself, from Git's bash, ZIRNA_BENCH_BUILD names a build tree
# of the programs (the GitHub workflow's, built on Linux) and the run takes
# them as they are, without Wine.
#
# The ratio is printed with two decimals, and a goal is judged on the printed
# ratio. Pairs and durations can be changed for a quick look (the defaults
# are the documented ones): START_PAIRS, DRAG_PAIRS, DRAG_STEPS (per pair,
# per program), IDLE_PAIRS, IDLE_SECONDS.
set -euo pipefail
shopt -s inherit_errexit
# shellcheck source=../scripts/lib/common.sh
source "$(dirname "$0")/../scripts/lib/common.sh"

start_pairs=${START_PAIRS:-25}
drag_pairs=${DRAG_PAIRS:-20}
drag_steps=${DRAG_STEPS:-500}
idle_pairs=${IDLE_PAIRS:-20}
idle_seconds=${IDLE_SECONDS:-5}

if [ -n "${ZIRNA_BENCH_BUILD:-}" ]; then
    # On Windows itself (Git's bash): the programs of that build tree, run as
    # they are, on whatever CPU Windows gives them.
    build=$ZIRNA_BENCH_BUILD
    run=()
    windows_path() { cygpath -w "$1"; }
    platform="the run not pinned; $(cmd //c ver | tr -d '\r' | grep .); $(uname -sr)"
else
    build_programs bench zirna zirna-baseline zirna-bench-driver
    run=("$WINE")
    windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
    # The last CPU runs everything: Xvfb, the wineserver and Wine's services,
    # the driver and the programs it starts, all started by this shell.
    cpu=$(($(nproc) - 1))
    taskset -cp $cpu $$ >/dev/null
    # (Its prefix has Wine's game controller and USB services off, as every
    # prefix of session.sh: they take CPU all the time.)
    export WINEPREFIX=$builds/bench/prefix
    echo "Starting Xvfb and Wine ..." >&2
    session_start 1024x768x24
    platform="the run pinned to CPU $cpu; $("$WINE" --version); $(uname -sr)"
fi
results=$tmp/results.txt
program=$build/editor/zirna.exe
baseline=$build/bench/zirna-baseline.exe
driver=$build/bench/zirna-bench-driver.exe

: >"$results"
measure() {
    echo "Measuring: $1 ..." >&2
    if ! job "${run[@]}" "$driver" "$1" "$(windows_path "$program")" \
        "$(windows_path "$baseline")" "${@:2}" >"$tmp/measure"; then
        tr -d '\r' <"$tmp/measure" >&2
        echo "bench: the $1 measure failed" >&2
        exit 1
    fi
    tr -d '\r' <"$tmp/measure" >>"$results"
}
measure start "$start_pairs"
measure drag "$drag_pairs" "$drag_steps"
measure idle "$idle_pairs" "$idle_seconds"
result() { awk -v name="$1" '$1 == name { print $2, $3 }' "$results"; }
read -r start_a start_b < <(result start)
read -r drag_a drag_b < <(result drag)
read -r idle_a idle_b < <(result idle)
size_a=$(stat -c %s "$program")
size_b=$(stat -c %s "$baseline")

cpu_model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
echo
echo "zirna benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $cpu_model, $(nproc --all) CPUs, $platform"
echo "A = zirna.exe, B = zirna-baseline.exe (the same window, nothing drawn); medians of A and B run in turn"
echo
format='%-28s %10s %10s %6s  %-12s %-7s %s\n'
row() { # label, A, B, goal (a ratio A/B, 0 for "A is 0", or -), samples
    awk -v format="$format" -v label="$1" -v a="$2" -v b="$3" -v goal="$4" -v samples="$5" '
    BEGIN {
        ratio = b > 0 ? sprintf("%.2f", a / b) : "-"
        if (goal == "-") { goalText = "-"; verdict = "" }
        else if (goal == "0") { goalText = "A = 0"; verdict = a == 0 ? "met" : "MISSED" }
        else { goalText = "A/B <= " goal; verdict = ratio != "-" && ratio + 0 <= goal + 0 ? "met" : "MISSED" }
        printf format, label, a, b, ratio, goalText, verdict, samples
    }'
}
# shellcheck disable=SC2059
printf "$format" "" "A" "B" "A/B" "goal" "" "samples"
row "start to first paint (ms)" "$start_a" "$start_b" 1.05 "$start_pairs pairs"
row "drag step (us)" "$drag_a" "$drag_b" 1.5 "$drag_pairs pairs x $drag_steps steps"
row "idle CPU in ${idle_seconds} s (ms)" "$idle_a" "$idle_b" 0 "$idle_pairs pairs"
row "exe size (bytes)" "$size_a" "$size_b" - "-"
echo
grep '^check' "$results"
