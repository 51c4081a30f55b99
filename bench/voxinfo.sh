#!/usr/bin/env bash
# Times voxinfo against its yardsticks and prints a Markdown table:
#   - a BINARY unsigned_short file of SIZE bytes of samples, against `cat FILE > /dev/null`
#     (goal: at most 1.5 times as long);
#   - an ASCII file of the numbers of a quarter of those samples, against `wc -w FILE` (goal: at
#     most as long);
#   - peak memory on a 1 MiB file, on both files above and on a sparse file of 5 GiB (goal: at
#     most 8 MiB each).
# Usage: bench/voxinfo.sh [SIZE [FOLDER [PAIRS]]]
#   SIZE    sample bytes as head -c takes them (1G = 1 GiB, 512M, ...); default 1G
#   FOLDER  where the files go; default /dev/shm where it exists, else the temporary folder
#   PAIRS   timed pairs per comparison, after one warm-up pair; default 15
# Runs are taken in alternation, voxinfo and its yardstick, the order swapped from pair to pair,
# and compared pairwise, so that the drift of a noisy machine falls on both sides of each ratio.
set -euo pipefail

size=${1:-1G}
folder=${2:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
pairs=${3:-15}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build}
# shellcheck source=/dev/null
source "$root/bench/build.sh"
vox_build voxinfo voxeven
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (Debian package time)" >&2; exit 1; }
voxinfo=$build/voxinfo/voxinfo
voxeven=$build/voxeven/voxeven

work=$(mktemp -d "$folder/voxinfo-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A uniform file of COUNT unsigned_short samples from FILE in ENCODING, as OUT.
convert() { "$voxeven" "$1" "$2" "$3" 1 1 1 1 1 0 0 0 unsigned_short "$4"; }

head -c "$size" /dev/urandom > sample.raw
bytes=$(stat -c %s sample.raw)
convert sample.raw binary.vtk $((bytes / 2)) BINARY
head -c $((bytes / 4)) sample.raw | od -An -tu2 -v -w32 > numbers.txt
convert numbers.txt ascii.vtk $((bytes / 8)) ASCII
rm sample.raw numbers.txt
head -c 1M /dev/urandom > small.raw
convert small.raw small.vtk $((1024 * 512)) BINARY
convert /dev/null sparse.vtk $((5 * 1024 * 1024 * 512)) BINARY
truncate -s +5G sparse.vtk

# One timed run of a named command: prints "nanoseconds peak_kib". Each must succeed.
run() {
    local start end
    start=$(date +%s%N)
    case $1 in
    voxinfo-binary) /usr/bin/time -f %M -o rss "$voxinfo" binary.vtk > /dev/null ;;
    cat) /usr/bin/time -f %M -o rss cat binary.vtk > /dev/null ;;
    voxinfo-ascii) /usr/bin/time -f %M -o rss "$voxinfo" ascii.vtk > /dev/null ;;
    wc) /usr/bin/time -f %M -o rss wc -w ascii.vtk > /dev/null ;;
    esac
    end=$(date +%s%N)
    echo "$((end - start)) $(cat rss)"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times ratios peaks
for comparison in voxinfo-binary:cat voxinfo-ascii:wc; do
    program=${comparison%%:*}
    yardstick=${comparison##*:}
    run "$program" >/dev/null
    run "$yardstick" >/dev/null # warm-up pair
    for ((i = 0; i < pairs; i++)); do
        if ((i % 2 == 0)); then
            read -r t_prog rss_prog < <(run "$program")
            read -r t_yard rss_yard < <(run "$yardstick")
        else
            read -r t_yard rss_yard < <(run "$yardstick")
            read -r t_prog rss_prog < <(run "$program")
        fi
        times[$program]+="$t_prog "
        times[$yardstick]+="$t_yard "
        ratios[$program]+="$(awk -v a="$t_prog" -v b="$t_yard" 'BEGIN { print a / b }') "
        peaks[$program]=$((rss_prog > ${peaks[$program]:-0} ? rss_prog : ${peaks[$program]:-0}))
        peaks[$yardstick]=$((rss_yard > ${peaks[$yardstick]:-0} ? rss_yard : ${peaks[$yardstick]:-0}))
    done
done

# Peak memory at the ends of the range of sizes.
peak_of() { /usr/bin/time -f %M -o rss "$voxinfo" "$1" > /dev/null; cat rss; }
small_peak=$(peak_of small.vtk)
sparse_peak=$(peak_of sparse.vtk)

echo "Samples: $bytes bytes of unsigned_short in $folder; $pairs pairs per comparison after a warm-up pair."
echo "ASCII file: $(stat -c %s ascii.vtk) bytes, $((bytes / 8)) numbers; locale ${LC_ALL:-${LANG:-POSIX}}."
echo
echo "| command | median wall time (s) | median ratio to its yardstick | goal | peak RSS (KiB) |"
echo "|---|---:|---:|---|---:|"
row() { # name, yardstick label, goal ratio
    local t ratio="1 (yardstick)" goal=""
    t=$(tr ' ' '\n' <<<"${times[$1]}" | grep . | median)
    if [ -n "$2" ]; then
        ratio=$(tr ' ' '\n' <<<"${ratios[$1]}" | grep . | median | xargs printf '%.3f')
        goal="at most $3 x $2: $(awk -v r="$ratio" -v g="$3" 'BEGIN { print (r <= g) ? "met" : "NOT met" }')"
    fi
    awk -v t="$t" -v n="$1" -v r="$ratio" -v g="$goal" -v m="${peaks[$1]}" \
        'BEGIN { printf "| %s | %.3f | %s | %s | %d |\n", n, t / 1e9, r, g, m }'
}
row voxinfo-binary cat 1.5
row cat "" ""
row voxinfo-ascii "wc -w" 1
row wc "" ""
echo
for case in "1 MiB file:$small_peak" "5 GiB sparse file:$sparse_peak"; do
    awk -v c="${case%%:*}" -v m="${case##*:}" \
        'BEGIN { printf "voxinfo peak RSS on a %s %d KiB (goal at most 8192: %s)\n", c, m, (m <= 8192) ? "met" : "NOT met" }'
done
