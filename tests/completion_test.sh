#!/usr/bin/env bash
# The completions offered at each position, one row a case:
#   program | position | word typed so far | the completions, sorted, blank-separated
set -u
source "$1"
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch sample.raw stack.raw z.txt
mkdir sub

rows='
voxaxis|1|s|stack.raw sub sample.raw
voxaxis|2||sample.raw stack.raw sub z.txt
voxaxis|3||
voxaxis|6|z|z.txt
voxaxis|8|su|sub
voxaxis|9||short unsigned_char unsigned_short
voxaxis|9|unsigned_s|unsigned_short
voxaxis|10||ASCII BINARY
voxaxis|10|BINARY_|
voxaxis|11||
voxeven|6|s|
voxeven|12|sh|short
voxeven|13||ASCII BINARY BINARY_FILE
voxeven|13|BINARY_|BINARY_FILE
voxeven|7||
voxslab|10|z|z.txt
voxslab|9||
voxslab|11|u|unsigned_char unsigned_short
voxslab|12|A|ASCII
voxslab|12|BINARY_|
./build/voxaxis/voxaxis|10|A|ASCII
cat|1||
'

passed=0 failed=0
while IFS='|' read -r program position typed expected; do
    [ -n "$program" ] || continue
    COMP_WORDS=("$program")
    for ((i = 1; i < position; i++)); do COMP_WORDS+=(x); done
    COMP_WORDS+=("$typed")
    COMP_CWORD=$position
    COMPREPLY=()
    _vox_complete "$program" "$typed" "${COMP_WORDS[position - 1]}"
    got=$(printf '%s\n' "${COMPREPLY[@]}" | grep . | sort | paste -sd ' ')
    want=$(tr ' ' '\n' <<<"$expected" | grep . | sort | paste -sd ' ')
    if [ "$got" = "$want" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $program at $position after '$typed': got '$got', want '$want'"
    fi
done <<<"$rows"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
