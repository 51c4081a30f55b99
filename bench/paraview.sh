#!/usr/bin/env bash
# ParaView's own legacy reader against the plugin's, side by side on the same bytes in one run,
# and prints a Markdown table:
#   - a BINARY unsigned_short volume of SIZE sample bytes: OpenDataFile + UpdatePipeline in
#     pvpython, the plugin on the converter's file, the legacy reader on the same file with a
#     DATASET line put in (goal: a fifth of the time or less, peak memory no more than its peak);
#     beside them `cat FILE > /dev/null`, the floor (bench/floor.cpp: pread and swap into
#     fresh memory on one thread and on all, with and without huge pages; goal: the plugin at
#     most 1.15 times the best floor), and the plugin on a file of one slice: what ParaView
#     spends on any open;
#   - an ASCII file of 10 million floats, the same way (goal: 0.15 of the time or less);
#     `wc -w FILE` beside them;
#   - two ranks under MPI (mpirun -np 2 pvbatch) on the BINARY file: the share of the sample
#     bytes each rank reads (goal: at most 55 %).
# Usage: bench/paraview.sh [SIZE [FOLDER [RUNS]]]
#   SIZE    sample bytes as head -c takes them (1G = 1 GiB, 512M, ...); default 1G
#   FOLDER  where the files go; default /dev/shm where it exists, else the temporary folder
#   RUNS    timed runs of each, in rounds after a warm-up round, the best kept; default 3
# VOX_BENCH_PAUSE: the seconds of the pause before each run (default 3).
# Needs Debian's ParaView (paraview, python3-paraview) and a build with -DVOX_PARAVIEW=ON in
# VOX_BUILD (default build-paraview).
set -euo pipefail

size=${1:-1G}
folder=${2:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
runs=${3:-3}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build-paraview}
# shellcheck source=bench/plugin.sh disable=SC1091
. "$root/bench/plugin.sh"
plugin_environment "$build"
voxeven=$build/voxeven/voxeven
floor=$build/viewer/bench_floor

work=$(mktemp -d "$folder/paraview-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# The converter's file of the samples in FILE, COUNT of TYPE in ENCODING, as OUT; and beside it
# OUT.std.vtk, the same bytes with "DATASET STRUCTURED_POINTS" after the third line.
convert() {
    local x=$(($3 / 1024 / 1024)) # a grid 1024 x 1024 x (the rest)
    "$voxeven" "$1" "$2" 1024 1024 "$x" 1 1 1 0 0 0 "$4" "$5"
    { head -n 3 "$2"; echo "DATASET STRUCTURED_POINTS"; tail -n +4 "$2"; } > "${2%.vtk}.std.vtk"
}

head -c "$size" /dev/zero | tr '\0' '\1' > samples.raw
sample_bytes=$(stat -c %s samples.raw)
if ((sample_bytes < 2097152 || sample_bytes % 2097152 != 0)); then
    echo "SIZE must be a whole number of 2 MiB (the grid is 1024 x 1024 x SIZE / 2 MiB)" >&2
    exit 1
fi
convert samples.raw binary.vtk $((sample_bytes / 2)) unsigned_short BINARY
head -c 2M samples.raw > slice.raw
"$voxeven" slice.raw slice.vtk 1024 1024 1 1 1 1 0 0 0 unsigned_short BINARY
rm samples.raw slice.raw
python3 -c '
import sys
out = sys.stdout
for i in range(0, 10 * 1024 * 1024, 8):
    out.write(" ".join("%.6g" % (((i + k) % 1000) * 0.125 - 3.5) for k in range(8)) + "\n")
' > numbers.txt
convert numbers.txt ascii.vtk $((10 * 1024 * 1024)) float ASCII
rm numbers.txt

# Every timed run is a fresh process, started after a pause: memory that the run before gave back
# is then given back by the machine too (a virtual machine returns freed pages to its host after
# a moment, and touching them again costs a fault there), so that each run, reader or floor,
# finds fresh memory in the same state, as a user's first open of the day does.
pause=${VOX_BENCH_PAUSE:-3}
# One open of FILE in a fresh pvpython: "SECONDS PEAK_KIB POINTS READER".
open_once() {
    pvpython "$root/bench/paraview_open.py" "$1" 2>/dev/null | tail -n 1 |
        awk '{ print $2, $3, $4, $1 }'
}
# The seconds of one run of a command.
timed() {
    local start end
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}
# Runs each command of `runs_of` (a name, then a command line, in `order`) RUNS times, in rounds
# of one run of each in turn after a warm-up round (the first runs after writing gigabytes find
# the memory in disorder), so that the drift of the machine falls on all alike, and keeps in
# `best` the line of each that has the fewest seconds (its first word).
declare -A runs_of best
order=()
rounds() {
    local round name line
    best=()
    for ((round = 0; round <= runs; round++)); do
        for name in "${order[@]}"; do
            sleep "$pause"
            line=$(eval "${runs_of[$name]}" | tail -n 1)
            ((round > 0)) || continue
            if [ -z "${best[$name]:-}" ] ||
                awk -v a="$line" -v b="${best[$name]}" 'BEGIN { exit !(a + 0 < b + 0) }'; then
                best[$name]=$line
            fi
        done
    done
}
seconds_of() { echo "${best[$1]%% *}"; }

echo "| file | reader | seconds | peak MiB | points |"
echo "|---|---|---|---|---|"
row() { # file name
    local seconds peak points _
    read -r seconds peak points _ <<< "${best[$2]}"
    if [ -n "${points:-}" ]; then
        awk -v f="$1" -v r="$2" -v s="$seconds" -v k="$peak" -v p="$points" \
            'BEGIN { printf "| %s | %s | %s | %.0f | %s |\n", f, r, s, k / 1024, p }'
    else
        echo "| $1 | $2 | $seconds | | |"
    fi
}
ratio() { # file what a b goal
    awk -v f="$1" -v w="$2" -v a="$3" -v b="$4" -v g="$5" 'BEGIN {
        t = a / b
        printf "| %s | %s | %.3f", f, w, t
        if (g != "") printf " (goal at most %s: %s)", g, t <= g + 0 ? "met" : "not met"
        printf " | | |\n" }'
}
offset=$(($(stat -c %s binary.vtk) - sample_bytes))
cores=$(nproc)
for kind in binary ascii; do
    runs_of=()
    order=(VoxReader LegacyVTKFileReader)
    runs_of[VoxReader]="open_once $kind.vtk"
    runs_of[LegacyVTKFileReader]="open_once $kind.std.vtk"
    if [ "$kind" = binary ]; then
        # What ParaView itself spends on an open: the plugin on a file of one slice.
        order+=("VoxReader, a file of one slice" cat)
        runs_of["VoxReader, a file of one slice"]="open_once slice.vtk"
        runs_of[cat]="timed cat binary.vtk"
        # The floor: the sample bytes at the end of the file, into fresh memory.
        for threads in 1 $((cores > 1 ? cores : 0)); do
            ((threads > 0)) || continue
            for pages in plain huge; do
                order+=("floor, $threads threads, $pages pages")
                runs_of["floor, $threads threads, $pages pages"]="\"$floor\" binary.vtk $offset $sample_bytes $threads $pages"
            done
        done
    else
        order+=("wc -w")
        runs_of["wc -w"]="timed wc -w ascii.vtk"
    fi
    rounds
    for name in "${order[@]}"; do
        row "$kind" "$name"
    done
    ours=$(seconds_of VoxReader)
    theirs=$(seconds_of LegacyVTKFileReader)
    if [ "$kind" = binary ]; then
        floor_best=
        for name in "${order[@]}"; do
            [[ "$name" == floor* ]] || continue
            s=$(seconds_of "$name")
            if [ -z "$floor_best" ] || awk -v a="$s" -v b="$floor_best" 'BEGIN { exit !(a < b) }'; then
                floor_best=$s
            fi
        done
        fixed=$(seconds_of "VoxReader, a file of one slice")
        ratio binary "ratio to the best floor" "$ours" "$floor_best" 1.15
        ratio binary "the same, ParaView's own cost of an open taken off" \
            "$(awk -v a="$ours" -v b="$fixed" 'BEGIN { print a - b }')" "$floor_best" ""
    fi
    goal=$([ "$kind" = binary ] && echo 0.2 || echo 0.15)
    read -r _ ours_k _ <<< "${best[VoxReader]}"
    read -r _ theirs_k _ <<< "${best[LegacyVTKFileReader]}"
    awk -v a="$ours" -v b="$theirs" -v ka="$ours_k" -v kb="$theirs_k" -v k="$kind" \
        -v g="$goal" 'BEGIN {
            t = a / b; m = ka / kb
            printf "| %s | ratio of times, of peaks | %.3f (goal at most %s: %s) | %.3f", k, t, g,
                t <= g ? "met" : "not met", m
            if (k == "binary") printf " (goal at most 1: %s)", m <= 1.01 ? "met" : "not met"
            printf " | |\n"
        }'
done

# Two ranks on the BINARY file: the share of the sample bytes that each reads. Each rank writes
# its line with one write(2), so that the two never interleave.
echo
echo "| ranks | rank | sample bytes read | share | points |"
echo "|---|---|---|---|---|"
mpirun --allow-run-as-root --oversubscribe -np 2 pvbatch --symmetric "$root/bench/paraview_ranks.py" \
    binary.vtk 2>/dev/null | sort -n | while read -r rank read points; do
    awk -v r="$rank" -v b="$read" -v t="$sample_bytes" -v p="$points" \
        'BEGIN { s = 100 * b / t
                 printf "| 2 | %d | %d of %d | %.1f %% (goal at most 55 %%: %s) | %d |\n", r, b, t,
                     s, s <= 55 ? "met" : "not met", p }'
done
