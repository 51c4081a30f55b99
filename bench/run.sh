#!/usr/bin/env bash
# Times each converter against `cat header sample > out` on one generated sample and prints a
# Markdown table. Usage: bench/run.sh [SIZE [FOLDER [PAIRS]]]
#   SIZE    sample size as head -c takes it (1G = 1 GiB, 512M, ...); default 1G
#   FOLDER  where the sample and the outputs go; default /dev/shm where it exists, keeping the
#           disk's noise out; else the temporary folder
#   PAIRS   timed pairs per converter, after one warm-up pair; default 15
# Runs are taken in alternation, a converter and cat, and compared pairwise, so that drift of a
# noisy machine falls on both sides of each ratio.
set -euo pipefail

size=${1:-1G}
folder=${2:-$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
pairs=${3:-15}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VOX_BUILD:-$root/build}

command -v /usr/bin/time >/dev/null || { echo "needs GNU time (Debian package time)" >&2; exit 1; }
if [ -z "${VOX_BUILD:-}" ]; then # else the given build folder is used as it is
    cmake --preset default -S "$root" >/dev/null
    cmake --build "$build" --target voxaxis voxeven voxslab >/dev/null
fi

work=$(mktemp -d "$folder/vox-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c "$size" /dev/urandom > sample.raw
bytes=$(stat -c %s sample.raw)
printf '0 1\n' > axis.txt
"$build/voxeven/voxeven" sample.raw header.txt 1024 1024 1024 1 1 1 0 0 0 unsigned_char BINARY_FILE

declare -A command=(
    [cat]="cat header.txt sample.raw"
    [voxaxis]="$build/voxaxis/voxaxis sample.raw out 1024 1024 1024 axis.txt axis.txt axis.txt unsigned_char BINARY"
    [voxeven]="$build/voxeven/voxeven sample.raw out 1024 1024 1024 1 1 1 0 0 0 unsigned_char BINARY"
    [voxslab]="$build/voxslab/voxslab sample.raw out 1024 1024 1024 1 1 0 0 axis.txt unsigned_char BINARY"
)

# One timed run: prints "seconds peak_kib".
run() {
    rm -f out
    local start end
    start=$(date +%s%N)
    if [ "$1" = cat ]; then
        /usr/bin/time -f %M -o rss ${command[cat]} > out
    else
        /usr/bin/time -f %M -o rss ${command[$1]}
    fi
    end=$(date +%s%N)
    echo "$(( end - start )) $(cat rss)"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times ratios peaks
for program in voxaxis voxeven voxslab; do
    run "$program" >/dev/null; run cat >/dev/null # warm-up pair
    for ((i = 0; i < pairs; i++)); do
        # Each pair in the other order from the last, so that whatever the first run of a pair
        # pays (or the second) falls on both sides alike.
        if ((i % 2 == 0)); then
            read -r t_prog rss_prog < <(run "$program")
            read -r t_cat rss_cat < <(run cat)
        else
            read -r t_cat rss_cat < <(run cat)
            read -r t_prog rss_prog < <(run "$program")
        fi
        times[$program]+="$t_prog "
        times[cat]+="$t_cat "
        ratios[$program]+="$(awk -v a="$t_prog" -v b="$t_cat" 'BEGIN { print a / b }') "
        peaks[$program]=$(( rss_prog > ${peaks[$program]:-0} ? rss_prog : ${peaks[$program]:-0} ))
        peaks[cat]=$(( rss_cat > ${peaks[cat]:-0} ? rss_cat : ${peaks[cat]:-0} ))
    done
done

echo "Sample: $bytes bytes in $folder; $pairs pairs per converter after a warm-up pair."
echo
echo "| command | median wall time (s) | MiB/s | median ratio to cat | peak RSS (KiB) |"
echo "|---|---:|---:|---:|---:|"
for program in voxaxis voxeven voxslab cat; do
    t=$(tr ' ' '\n' <<<"${times[$program]}" | grep . | median)
    if [ "$program" = cat ]; then ratio="1 (yardstick)"; else
        ratio=$(tr ' ' '\n' <<<"${ratios[$program]}" | grep . | median | xargs printf '%.3f'); fi
    awk -v t="$t" -v b="$bytes" -v p="$program" -v r="$ratio" -v m="${peaks[$program]}" \
        'BEGIN { printf "| %s | %.3f | %.0f | %s | %d |\n", p, t / 1e9, b / 1048576 / (t / 1e9), r, m }'
done
