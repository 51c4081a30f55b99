#!/usr/bin/env bash
# Times voxlink on sparse files of SIZE bytes of samples, one of each grid kind and reference
# mode, and prints a Markdown table: the median wall time of RUNS runs writing every companion
# that describes the file, peak memory, and the size of the Zarr reference. The goal:
# milliseconds and a reference of kilobytes whatever the size, since no sample is read;
# --byte-order=auto reads the first 16 MiB of the samples alone.
# Usage: bench/voxlink.sh [SIZE [FOLDER [RUNS]]]
#   SIZE    sample bytes as truncate takes them (100G, 5G, 64K...); default 100G
#   FOLDER  where the files go; default the temporary folder (it must take sparse files)
#   RUNS    timed runs per row, after a warm-up run; default 15
set -euo pipefail

size=${1:-100G}
folder=${2:-${TMPDIR:-/tmp}}
runs=${3:-15}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build}
# shellcheck source=/dev/null
source "$root/bench/build.sh"
vox_build voxlink voxeven voxaxis voxslab
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (Debian package time)" >&2; exit 1; }
voxlink=$build/voxlink/voxlink

work=$(mktemp -d "$folder/voxlink-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# unsigned_short samples in a grid of 1024 x 512 x Z points, as many as SIZE holds.
truncate -s "$size" sample.raw
bytes=$(stat -c %s sample.raw)
z=$((bytes / 2 / 1024 / 512))
if ((z < 1)); then
    echo "SIZE must hold one slice of 1024 x 512 unsigned_short samples (1 MiB)" >&2
    exit 1
fi
bytes=$((z * 1024 * 512 * 2))
truncate -s "$bytes" sample.raw
# Big-endian floats 0, 1, 2, ... for the coordinates and locations.
positions() { python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('>%df' % $1, *range($1)))"; }
positions 1024 > x.bin
positions 512 > y.bin
positions "$z" > z.bin
# Each file with empty samples, then made as long as they should be, without writing them.
sparse() { "$@"; truncate -s "+$bytes" "$3"; }
sparse "$build/voxeven/voxeven" /dev/null uniform.vtk 1024 512 "$z" 1 1 1 0 0 0 unsigned_short BINARY
sparse "$build/voxaxis/voxaxis" /dev/null rectilinear.vtk 1024 512 "$z" x.bin y.bin z.bin \
    unsigned_short BINARY
sparse "$build/voxslab/voxslab" /dev/null stack.vtk 1024 512 "$z" 1 1 0 0 z.bin unsigned_short \
    BINARY
"$build/voxeven/voxeven" sample.raw reference.vtk 1024 512 "$z" 1 1 1 0 0 0 unsigned_short \
    BINARY_FILE

# One timed run: prints "nanoseconds peak_kib".
run() {
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f %M -o rss "$@" > /dev/null 2>&1
    end=$(date +%s%N)
    echo "$((end - start)) $(cat rss)"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "Samples: $bytes bytes of unsigned_short (1024 x 512 x $z) in sparse files in $folder;"
echo "$runs runs a row after a warm-up run."
echo
echo "| file | options | companions | median wall time (ms) | peak RSS (KiB) | Zarr reference (bytes) |"
echo "|---|---|---|---:|---:|---:|"
for row in uniform.vtk: rectilinear.vtk: stack.vtk: reference.vtk: uniform.vtk:--byte-order=auto; do
    file=${row%%:*}
    option=${row#*:}
    arguments=("$file")
    [ -z "$option" ] || arguments=("$option" "$file")
    "$voxlink" "${arguments[@]}" > written 2>/dev/null
    times="" peak=0
    for ((i = 0; i < runs; i++)); do
        read -r t m < <(run "$voxlink" "${arguments[@]}")
        times+="$t "
        peak=$((m > peak ? m : peak))
    done
    t=$(tr ' ' '\n' <<<"$times" | grep . | median)
    companions=$(sed 's/:.*//; s/.*\.//' written | paste -sd, -)
    reference=$(stat -c %s "${file%.vtk}.zarr.json")
    awk -v f="$file" -v o="${option:-none}" -v c="$companions" -v t="$t" -v m="$peak" \
        -v r="$reference" 'BEGIN { printf "| %s | %s | %s | %.1f | %d | %d |\n", f, o, c, t / 1e6, m, r }'
done
