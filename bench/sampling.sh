#!/usr/bin/env bash
# What a sample rate, a box and MemoryMap save on a large volume, in pvpython through the plugin,
# every figure beside the full read of the same run, and prints a Markdown table:
#   - 1 GiB of little-endian unsigned_short samples (1024 x 1024 x 512, embedded): the full
#     read; SampleRate 4 4 4 (goal: at most a quarter of the full read's time and an eighth of
#     its memory: it reads one row in sixteen); a box (VOI) of 10 slices; a MemoryMap open (goal:
#     under a tenth of the full read's time); beside them a file of one slice (1024 x 1024 x 1):
#     what ParaView spends on any open;
#   - 40 GiB of samples in a sparse file (1024 x 1024 x 20480, in reference mode) at
#     SampleRate 4 4 4 (goal: it opens, peak memory under 2 GiB), and its full read, which must
#     fail with a message where the machine has less memory than that.
# Every run is a fresh pvpython after a pause, in rounds after a warm-up round, the best kept.
# Usage: bench/sampling.sh [FOLDER [RUNS]]
#   FOLDER  where the files go; default /dev/shm where it exists, else the temporary folder
#   RUNS    timed runs of each, the best kept; default 3
# VOX_BENCH_PAUSE: the seconds of the pause before each run (default 3).
# Needs Debian's ParaView (paraview, python3-paraview) and a build with -DVOX_PARAVIEW=ON in
# VOX_BUILD (default build-paraview).
set -euo pipefail

folder=${1:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
runs=${2:-3}
pause=${VOX_BENCH_PAUSE:-3}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build-paraview}
# shellcheck source=bench/plugin.sh disable=SC1091
. "$root/bench/plugin.sh"
plugin_environment "$build"
voxeven=$build/voxeven/voxeven

work=$(mktemp -d "$folder/sampling-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# The title names the converter as it was called: by a name of fixed length, the samples start
# at the same byte wherever the build lies (228, which two-byte samples can be mapped at).
ln -s "$voxeven" voxeven
voxeven=./voxeven

# 1 GiB of samples, each byte 1 (so values 257 in either order), embedded in the file.
head -c 1G /dev/zero | tr '\0' '\1' > one.raw
"$voxeven" one.raw one.vtk 1024 1024 512 1 1 1 0 0 0 unsigned_short BINARY
head -c 2M one.raw > slice.raw
"$voxeven" slice.raw slice.vtk 1024 1024 1 1 1 1 0 0 0 unsigned_short BINARY
rm one.raw slice.raw
# 40 GiB of samples that take no room: a sparse file, named by a header in reference mode.
truncate -s 40G forty.raw
"$voxeven" forty.raw forty.vtk 1024 1024 20480 1 1 1 0 0 0 unsigned_short BINARY_FILE

# The cases, in the order of the table: a name, then the arguments of sampling_open.py.
names=("full read" "SampleRate 4 4 4" "VOI of 10 slices" "MemoryMap" "a file of one slice"
    "40 GiB, SampleRate 4 4 4" "40 GiB, full read")
declare -A args=(
    ["full read"]="one.vtk 1 0 1 1 1"
    ["SampleRate 4 4 4"]="one.vtk 1 0 4 4 4"
    ["VOI of 10 slices"]="one.vtk 1 0 1 1 1 0 1023 0 1023 200 209"
    ["MemoryMap"]="one.vtk 1 1 1 1 1"
    ["a file of one slice"]="slice.vtk 1 0 1 1 1"
    ["40 GiB, SampleRate 4 4 4"]="forty.vtk 1 0 4 4 4"
    ["40 GiB, full read"]="forty.vtk 1 0 1 1 1"
)
# One open: "SECONDS PEAK_KIB POINTS BYTES_READ MAPPED", or "failed: MESSAGE".
open_once() {
    local out
    # shellcheck disable=SC2086 # the arguments are words
    if out=$(pvpython "$root/bench/sampling_open.py" $1 2>&1) &&
        [[ "$(tail -n 1 <<< "$out")" =~ ^[0-9.]+\ -?[0-9]+\ [1-9] ]]; then
        tail -n 1 <<< "$out"
    else
        echo "failed: $(grep -o 'samples: [^[]*' <<< "$out" | head -n 1)"
    fi
}
# The full read of 40 GiB is tried only where the kernel refuses an allocation past the memory
# and swap there are (overcommit 0 or 2) and they are less than 40 GiB: elsewhere it would take
# them all.
memory_kib=$(awk '/^(MemTotal|SwapTotal):/ { k += $2 } END { print k }' /proc/meminfo)
if [[ "$(cat /proc/sys/vm/overcommit_memory)" == 1 ]] || ((memory_kib >= 40 * 1024 * 1024)); then
    unset 'names[6]'
fi
declare -A best
for ((round = 0; round <= runs; round++)); do
    for name in "${names[@]}"; do
        # The full read of 40 GiB is tried once: it fails, or takes all the memory there is.
        if [ "$name" = "40 GiB, full read" ] && ((round != 1)); then
            continue
        fi
        sleep "$pause"
        line=$(open_once "${args[$name]}")
        ((round > 0)) || continue
        if [ -z "${best[$name]:-}" ] || [[ "${best[$name]}" == failed* ]] ||
            { [[ "$line" != failed* ]] &&
                awk -v a="$line" -v b="${best[$name]}" 'BEGIN { exit !(a + 0 < b + 0) }'; }; then
            best[$name]=$line
        fi
    done
done

read -r full_s full_k _ <<< "${best[full read]}"
echo "| volume | read | seconds | peak MiB | points | sample bytes read | of the full read: time, memory |"
echo "|---|---|---|---|---|---|---|"
for name in "${names[@]}"; do
    line=${best[$name]}
    size=$([[ "$name" == 40* ]] && echo "40 GiB" || echo "1 GiB")
    [[ "$name" != *slice ]] || size="2 MiB"
    if [[ "$line" == failed* ]]; then
        echo "| $size | ${name#40 GiB, } | | | | | ${line} |"
        continue
    fi
    read -r s k points bytes mapped <<< "$line"
    what=${name#40 GiB, }
    ((mapped == 0)) || what="$what (the file's pages)"
    awk -v v="$size" -v n="$what" -v s="$s" -v k="$k" -v p="$points" -v b="$bytes" \
        -v fs="$full_s" -v fk="$full_k" -v full="$([ "$name" = "full read" ] && echo 1 || echo 0)" \
        'BEGIN {
            ratio = full ? "" : sprintf("%.3f, %.3f", s / fs, (k < 0 ? 0 : k) / fk)
            printf "| %s | %s | %s | %.0f | %s | %s | %s |\n", v, n, s, (k < 0 ? 0 : k) / 1024, p, b, ratio }'
done
