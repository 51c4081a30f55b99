#!/usr/bin/env bash
# Runs the xargs recipe of the README ($1, the first sh block under "Converting many volumes")
# with the programs of the folder $2 on the path, on generated volumes, and checks every output
# byte for byte and the batch's exit status. A folder named like a sample makes its run fail.
# One row a volume:
#   batch | name in scans/ | bytes of samples, or "folder"
set -u
readme=$1
PATH=$(cd "$2" && pwd):$PATH
rows="
whole|head 01.raw|4096
whole|scan_12:30.raw|1
whole|it's.raw|70000
whole|empty.raw|0
one failing|a.raw|512
one failing|broken.raw|folder
one failing|c.raw|100000
"
recipe=$(awk '/^## Converting many volumes/ { on = 1 }
    on && /^```sh$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside' "$readme")
[ -n "$recipe" ] || { echo "no recipe in $readme"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
header='# vtk DataFile Version 2.0
Output from voxeven
BINARY
DIMENSIONS  256 256 109
SPACING  0.937500 0.937500 1.500000
ORIGIN  0.000000 0.000000 -80.000000
POINT_DATA  7143424
SCALARS scalars  unsigned_char
LOOKUP_TABLE default'

passed=0 failed=0
verdict() { # description, then whether it held (0 or 1)
    if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else
        failed=$((failed + 1))
        echo "FAIL: $1"
    fi
}
for batch in "whole" "one failing"; do
    folder=$scratch/$batch
    mkdir -p "$folder/scans" "$folder/expected"
    want_status=0
    while IFS='|' read -r in_batch name size; do
        [ "$in_batch" = "$batch" ] || continue
        if [ "$size" = folder ]; then
            mkdir "$folder/scans/$name"
            want_status=123
            printf '%s\n' "$header" >"$folder/expected/${name%.raw}.vtk"
        else
            head -c "$size" /dev/urandom >"$folder/scans/$name"
            { printf '%s\n' "$header"; cat "$folder/scans/$name"; } >"$folder/expected/${name%.raw}.vtk"
        fi
    done <<<"$rows"
    output=$(cd "$folder" && bash -c "$recipe" 2>"$folder/errors")
    [ "$output" = "exit status $want_status" ]
    verdict "$batch: the recipe says '$output', want exit status $want_status" $?
    for expected in "$folder"/expected/*.vtk; do
        name=$(basename "$expected")
        cmp -s "$expected" "$folder/scans/$name"
        verdict "$batch: scans/$name holds the header and every sample byte" $?
    done
    if [ "$want_status" -ne 0 ]; then
        grep -qx "Error reading scans/broken.raw" "$folder/errors"
        verdict "$batch: the failed run names its sample" $?
    else
        [ ! -s "$folder/errors" ]
        verdict "$batch: no diagnostic" $?
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
