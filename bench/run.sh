#!/usr/bin/env bash
# Times each converter against `cat header sample > out` and prints one Markdown table.
# Usage: bench/run.sh [SIZE [FOLDER [SMALL_PAIRS [LARGE_PAIRS]]]]
#   SIZE         the large sample, as head -c takes it (1G = 1 GiB, 512M, ...); default 1G
#   FOLDER       where the samples and the outputs go; default /dev/shm where it exists, keeping
#                the disk's noise out; else the temporary folder
#   SMALL_PAIRS  timed pairs for the 4 KiB and the 1 MiB sample; default 1000
#   LARGE_PAIRS  timed pairs for the large sample, from a file and through a pipe; default 11
# Four cases: a 4 KiB, a 1 MiB and the large sample as infile, and the large sample arriving
# through a pipe (infile /dev/stdin, against `cat header - > out`). Each pair runs a converter and
# cat in alternation, in the other order from the pair before, and the ratio of each pair is
# taken, so that drift of a noisy machine falls on both sides of each ratio. bench/pair.cpp, built
# here, forks and times the runs itself: no shell stands between the clock and the program.
set -euo pipefail

size=${1:-1G}
folder=${2:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
small_pairs=${3:-1000}
large_pairs=${4:-11}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build}
# shellcheck source=/dev/null
source "$root/bench/build.sh"
vox_build voxaxis voxeven voxslab

work=$(mktemp -d "$folder/vox-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"${CXX:-c++}" -std=c++20 -O2 -fno-exceptions -Wl,--as-needed -o pair "$root/bench/pair.cpp"

head -c 4K /dev/urandom >4k.raw
head -c 1M /dev/urandom >1m.raw
head -c "$size" /dev/urandom >large.raw
large_bytes=$(stat -c %s large.raw)
printf '0 1\n' >axis.txt
"$build/voxeven/voxeven" large.raw header.txt 1024 1024 1024 1 1 1 0 0 0 unsigned_char BINARY_FILE

# Sets `command` to the converter's command line with `infile`.
set_command() {
    local grid=(1024 1024 1024)
    case $1 in
    voxaxis) command=("$build/voxaxis/voxaxis" "$2" out "${grid[@]}" axis.txt axis.txt axis.txt) ;;
    voxeven) command=("$build/voxeven/voxeven" "$2" out "${grid[@]}" 1 1 1 0 0 0) ;;
    voxslab) command=("$build/voxslab/voxslab" "$2" out "${grid[@]}" 1 1 0 0 axis.txt) ;;
    esac
    command+=(unsigned_char BINARY)
}

# The numbers are read and written in the C locale, whatever the environment says; the
# commands under test keep the environment as it is.
median() {
    LC_ALL=C sort -g |
        LC_ALL=C awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
field() { LC_ALL=C awk -v n="$1" '{ print $n }' pairs.txt; }

echo "| sample | converter | median time (ms) | cat (ms) | median ratio to cat | peak memory (KiB) | cat (KiB) |"
echo "|---|---|---:|---:|---:|---:|---:|"
# sample label, infile, what the pipe carries ("-": no pipe), pairs
while IFS='|' read -r label infile feed pairs; do
    for program in voxaxis voxeven voxslab; do
        set_command "$program" "$infile"
        if [ "$feed" = - ]; then
            yardstick=(">out" cat header.txt "$infile")
        else
            yardstick=(">out" cat header.txt -)
        fi
        ./pair "$pairs" out "$feed" "${command[@]}" -- "${yardstick[@]}" >pairs.txt
        LC_ALL=C awk -v label="$label" -v program="$program" \
            -v t="$(field 1 | median)" -v t_cat="$(field 3 | median)" \
            -v ratio="$(LC_ALL=C awk '{ print $1 / $3 }' pairs.txt | median)" \
            -v peak="$(field 2 | LC_ALL=C sort -g | tail -n 1)" \
            -v peak_cat="$(field 4 | LC_ALL=C sort -g | tail -n 1)" \
            'BEGIN { printf "| %s | %s | %.3f | %.3f | %.3f | %d | %d |\n", label, program, t / 1e6, t_cat / 1e6, ratio, peak, peak_cat }'
    done
done <<EOF
4 KiB|4k.raw|-|$small_pairs
1 MiB|1m.raw|-|$small_pairs
$size ($large_bytes bytes)|large.raw|-|$large_pairs
$size through a pipe|/dev/stdin|large.raw|$large_pairs
EOF
echo
echo "Samples and outputs in $folder; $small_pairs pairs for the small samples, $large_pairs for" \
    "the large one, after a warm-up pair each; peak memory is the largest of all runs."
"$root/bench/voxinfo.sh" "$size" "$folder" "$large_pairs"
