#!/usr/bin/env bash
# Runs the benchmark on a small sample with the programs of build folder $1 and the compiler $2,
# in a folder whose path has blanks, and checks its table: one row for each converter and case,
# each with times, a ratio and peak memory, and voxinfo's rows and memory lines. The figures themselves mean nothing at this size.
set -u
build=$1
compiler=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folder="$scratch/samples and outputs"
mkdir "$folder"

table=$(VOX_BUILD=$build CXX=$compiler bash "$root/bench/run.sh" 64K "$folder" 3 1) ||
    { echo "FAIL: the benchmark stopped"; exit 1; }
number='[0-9]+(\.[0-9]+)?'
row="^\| (4 KiB|1 MiB|64K \(65536 bytes\)|64K through a pipe) \| vox(axis|even|slab)( \| $number){5} \|$"
rows=$(grep -cE "$row" <<<"$table")
if [ "$rows" -ne 12 ]; then
    printf '%s\n' "$table"
    echo "FAIL: 12 rows expected, $rows found"
    exit 1
fi
voxinfo_rows=$(grep -cE "^\| (voxinfo-binary|cat|voxinfo-ascii|wc) \| $number \| " <<<"$table")
memory_rows=$(grep -cE "^voxinfo peak RSS on a .* [0-9]+ KiB " <<<"$table")
if [ "$voxinfo_rows" -ne 4 ] || [ "$memory_rows" -ne 2 ]; then
    printf '%s\n' "$table"
    echo "FAIL: voxinfo: 4 rows and 2 memory lines expected, $voxinfo_rows and $memory_rows found"
    exit 1
fi
# voxlink's benchmark, on sparse files of 4 MiB: a row for each kind of file, each with a time.
table=$(VOX_BUILD=$build bash "$root/bench/voxlink.sh" 4M "$folder" 1) ||
    { echo "FAIL: voxlink's benchmark stopped"; exit 1; }
link_rows=$(grep -cE "^\| (uniform|rectilinear|stack|reference)\.vtk \| [a-z=-]+ \| [a-z,]+ \| $number \| [0-9]+ \| [0-9]+ \|$" <<<"$table")
if [ "$link_rows" -ne 5 ]; then
    printf '%s\n' "$table"
    echo "FAIL: voxlink: 5 rows expected, $link_rows found"
    exit 1
fi
if [ -n "$(ls -A "$folder")" ]; then
    echo "FAIL: the benchmark left files behind"
    exit 1
fi
echo "1 passed, 0 failed"
