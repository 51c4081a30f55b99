#!/usr/bin/env bash
# ParaView's own legacy reader against the plugin's, side by side on the same bytes in one run,
# and prints a Markdown table:
#   - a BINARY unsigned_short volume of SIZE sample bytes: OpenDataFile + UpdatePipeline in
#     pvpython, the plugin on the converter's file, the legacy reader on the same file with a
#     DATASET line put in (goal: a fifth of the time or less, peak memory no more than its peak);
#     beside them `cat FILE > /dev/null`, and the floor (bench/floor.cpp: pread and swap into
#     fresh memory on one thread and on all, with and without huge pages; goal: the plugin at
#     most 1.15 times the floor on all threads);
#   - an ASCII file of 10 million floats, the same way (goal: 0.15 of the time or less);
#     `wc -w FILE` beside them;
#   - two ranks under MPI (mpirun -np 2 pvbatch) on the BINARY file: the share of the sample
#     bytes each rank reads (goal: at most 55 %).
# Usage: bench/paraview.sh [SIZE [FOLDER [RUNS]]]
#   SIZE    sample bytes as head -c takes them (1G = 1 GiB, 512M, ...); default 1G
#   FOLDER  where the files go; default /dev/shm where it exists, else the temporary folder
#   RUNS    timed runs of each reader, in alternation after a warm-up pair, the best kept;
#           default 3
# Needs Debian's ParaView (paraview, python3-paraview) and a build with -DVOX_PARAVIEW=ON in
# VOX_BUILD (default build-paraview).
set -euo pipefail

size=${1:-1G}
folder=${2:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
runs=${3:-3}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build-paraview}
plugin=$(find "$build/lib" -path "*/plugins/VoxReader/VoxReader.so" -print -quit)
[ -n "$plugin" ] || { echo "no VoxReader.so in $build: build with -DVOX_PARAVIEW=ON" >&2; exit 1; }
export PV_PLUGIN_PATH=${plugin%/*}
export PYTHONPATH=$build/lib/python3/dist-packages${PYTHONPATH:+:$PYTHONPATH}
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
rm samples.raw
python3 -c '
import sys
out = sys.stdout
for i in range(0, 10 * 1024 * 1024, 8):
    out.write(" ".join("%.6g" % (((i + k) % 1000) * 0.125 - 3.5) for k in range(8)) + "\n")
' > numbers.txt
convert numbers.txt ascii.vtk $((10 * 1024 * 1024)) float ASCII
rm numbers.txt

# One open of FILE in a fresh pvpython: "READER SECONDS PEAK_KIB POINTS".
open_once() {
    pvpython "$root/bench/paraview_open.py" "$1" 2>/dev/null | tail -n 1
}
# The faster of two result lines.
faster() {
    if [ -z "$2" ] || awk -v a="$1" -v b="$2" \
        'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[2] < y[2]) }'; then
        echo "$1"
    else
        echo "$2"
    fi
}
# The best of RUNS opens of each of two files, taken in alternation after one warm-up pair (the
# first runs after writing gigabytes find the memory in disorder), so that the drift of the
# machine falls on both: two lines as open_once prints them.
best_pair() {
    local i a='' b=''
    open_once "$1" > /dev/null
    open_once "$2" > /dev/null
    for ((i = 0; i < runs; i++)); do
        a=$(faster "$(open_once "$1")" "$a")
        b=$(faster "$(open_once "$2")" "$b")
    done
    echo "$a"
    echo "$b"
}
# The best of RUNS timings of a shell command, in seconds.
best_time() {
    local i start end ns best_ns=
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        sh -c "$1" > /dev/null
        end=$(date +%s%N)
        ns=$((end - start))
        if [ -z "$best_ns" ] || ((ns < best_ns)); then best_ns=$ns; fi
    done
    awk -v ns="$best_ns" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

echo "| file | reader | seconds | peak MiB | points |"
echo "|---|---|---|---|---|"
row() { # file reader seconds peak_kib points
    awk -v f="$1" -v r="$2" -v s="$3" -v k="$4" -v p="$5" \
        'BEGIN { printf "| %s | %s | %s | %.0f | %s |\n", f, r, s, k / 1024, p }'
}
for kind in binary ascii; do
    { read -r ours ours_s ours_k ours_p && read -r theirs theirs_s theirs_k theirs_p; } \
        < <(best_pair "$kind.vtk" "$kind.std.vtk")
    row "$kind" "$ours" "$ours_s" "$ours_k" "$ours_p"
    row "$kind" "$theirs" "$theirs_s" "$theirs_k" "$theirs_p"
    if [ "$kind" = binary ]; then
        echo "| $kind | cat | $(best_time 'cat binary.vtk') | | |"
        # The floor: the sample bytes at the end of the file, into fresh memory.
        floor_best=
        while read -r _ threads pages seconds; do
            echo "| $kind | floor, $threads threads, $pages pages | $seconds | | |"
            if [ -z "$floor_best" ] || awk -v a="$seconds" -v b="$floor_best" 'BEGIN { exit !(a < b) }'; then
                floor_best=$seconds
            fi
        done < <("$floor" binary.vtk $(($(stat -c %s binary.vtk) - sample_bytes)) "$sample_bytes" "$runs")
        awk -v a="$ours_s" -v f="$floor_best" 'BEGIN {
            t = a / f
            printf "| binary | ratio to the best floor | %.3f (goal at most 1.15: %s) | | |\n", t,
                t <= 1.15 ? "met" : "not met" }'
    else
        echo "| $kind | wc -w | $(best_time 'wc -w ascii.vtk') | | |"
    fi
    goal=$([ "$kind" = binary ] && echo 0.2 || echo 0.15)
    awk -v a="$ours_s" -v b="$theirs_s" -v ka="$ours_k" -v kb="$theirs_k" -v k="$kind" \
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
