#!/usr/bin/env bash
# Completion in bash, zsh and fish, each shell driven for real: the build folder $1 is installed
# under a scratch prefix and every shell loads the scripts from where it looks for them. Bash
# and zsh run interactively on a terminal (script(1)), are sent the keys of each line followed
# by a key that inserts every completion, and write the line that results; fish lists them with
# `complete -C`. One row a case:
#   command line up to the cursor | the completions offered there, sorted, blank-separated
# The folder holds sample.raw stack.raw z.txt scan_12:30.raw a=b.raw, a folder sub and a link
# ./voxaxis to the installed program. Rows of a program that is not among the programs given
# (not built) are left out.
set -u
build=$1
shift
programs=("$@")
rows='
voxaxis s|sample.raw scan_12:30.raw stack.raw sub
voxaxis sample.raw |a=b.raw sample.raw scan_12:30.raw stack.raw sub voxaxis z.txt
voxaxis sample.raw out.vtk |
voxaxis scan_12:3|scan_12:30.raw
voxaxis scan_12:30.raw out.vtk 1 2 3 z|z.txt
voxaxis a=|a=b.raw
voxaxis a=b.raw o 1 2 3 x y su|sub
voxaxis a=b.raw o 1 2 3 x y z |short unsigned_char unsigned_short
voxaxis 1 2 3 4 5 6 7 8 unsigned_s|unsigned_short
voxaxis 1 2 3 4 5 6 7 8 9 |ASCII BINARY
voxaxis 1 2 3 4 5 6 7 8 9 BINARY_|
voxaxis 1 2 3 4 5 6 7 8 9 10 |
voxeven s|sample.raw scan_12:30.raw stack.raw sub
voxeven 1 2 3 4 5 s|
voxeven 1 2 3 4 5 6 7 8 9 10 11 sh|short
voxeven 1 2 3 4 5 6 7 8 9 10 11 12 |ASCII BINARY BINARY_FILE
voxeven 1 2 3 4 5 6 7 8 9 10 11 12 BINARY_|BINARY_FILE
voxeven 1 2 3 4 5 6 |
voxslab 1 st|stack.raw
voxslab 1 2 3 4 5 6 7 8 9 z|z.txt
voxslab 1 2 3 4 5 6 7 8 -128 z|z.txt
voxslab 1 2 3 4 5 6 7 8 |
voxslab 1 2 3 4 5 6 7 8 9 10 u|unsigned_char unsigned_short
voxslab 1 2 3 4 5 6 7 8 9 10 11 A|ASCII
voxslab 1 2 3 4 5 6 7 8 9 10 11 BINARY_|
voxinfo s|sample.raw scan_12:30.raw stack.raw sub
voxinfo sample.raw stack.raw 1 2 3 z|z.txt
voxinfo scan_12:3|scan_12:30.raw
./voxaxis 1 2 3 4 5 6 7 8 9 A|ASCII
voxinfo --|--help --json --version
voxinfo --j|--json
voxinfo --json s|sample.raw scan_12:30.raw stack.raw sub
voxinfo sample.raw --json --version sc|scan_12:30.raw
voxinfo -- --|
voxinfo -- --json s|sample.raw scan_12:30.raw stack.raw sub
voxlink --|--byte-order=auto --byte-order=big --byte-order=little --data-url --help --version
voxlink --d|--data-url
voxlink --byte-order=l|--byte-order=little
voxlink --byte-order=big st|stack.raw
voxlink sample.raw out.xmf s|sample.raw scan_12:30.raw stack.raw sub
'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }
mkdir "$scratch/work" "$scratch/work/sub" "$scratch/home"
touch "$scratch/work/"{sample.raw,stack.raw,z.txt,scan_12:30.raw,a=b.raw}
ln -s "$prefix/bin/voxaxis" "$scratch/work/voxaxis"
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/config PATH=$prefix/bin:$PATH
export XDG_DATA_DIRS=$prefix/share:/usr/share
cd "$scratch/work" || exit 1

# Only the rows of the programs given: a program that is not built has no completion installed.
built() { # command line
    local program
    read -r program _ <<<"$1"
    program=${program##*/}
    [[ " ${programs[*]} " == *" $program "* ]]
}
kept=''
while IFS= read -r row; do
    [ -n "$row" ] && built "$row" && kept+=$row$'\n'
done <<<"$rows"
rows=$kept
lines=()
while IFS='|' read -r line _; do
    [ -n "$line" ] && lines+=("$line")
done <<<"$rows"

# Runs an interactive shell on a terminal with the keys of every line, each followed by
# ^Xa (insert all completions), ^Xp (write the line to $scratch/out) and ^A^K (clear it).
drive() {
    local keys='' line
    for line in "${lines[@]}"; do keys+="$line"$'\x18a\x18p\x01\x0b'; done
    rm -f "$scratch/out"
    printf '%sexit\n' "$keys" | timeout 60 script -qec "$1" /dev/null >/dev/null
}

# Turns the line written after inserting completions into the completions themselves: the
# words that took the place of the word at the cursor, unquoted, folders without their /.
inserted() { # typed line, resulting line
    local -a typed result
    read -ra typed <<<"$1"
    read -ra result <<<"${2//\\/}"
    [ "$1" = "$2" ] && return # nothing inserted
    local keep=${#typed[@]}
    [[ $1 == *' ' ]] || keep=$((keep - 1))
    printf '%s\n' "${result[@]:keep}"
}

complete_bash() {
    local program
    {
        echo "PS1=''"
        for program in "${programs[@]}"; do
            echo "source '$prefix/share/bash-completion/completions/$program'"
        done
        cat <<EOF
bind 'set completion-query-items 0'
bind '"\C-xa": insert-completions'
bind -x '"\C-xp": printf "%s\n" "\$READLINE_LINE" >>"$scratch/out"'
EOF
    } >"$scratch/bashrc"
    drive "bash --noprofile --rcfile '$scratch/bashrc' -i" || return 1
    report_lines
}

complete_zsh() {
    mkdir -p "$scratch/zdot"
    cat >"$scratch/zdot/.zshrc" <<EOF
PS1=''
fpath=('$prefix/share/zsh/vendor-completions' \$fpath)
autoload -Uz compinit && compinit -u -d '$scratch/zcompdump'
zstyle ':completion:all-matches:*' completer _all_matches _complete
zstyle ':completion:all-matches:*' insert true
zle -C all-matches complete-word _generic
write-line() { print -r -- "\$BUFFER" >>'$scratch/out'; BUFFER= }
zle -N write-line
bindkey '^Xa' all-matches
bindkey '^Xp' write-line
EOF
    ZDOTDIR=$scratch/zdot drive "zsh -d -i" || return 1
    report_lines
}

report_lines() { # the completions of each line, one line each, from $scratch/out
    local i=0 result
    while IFS= read -r result; do
        inserted "${lines[i]}" "$result" | sort | paste -sd ' '
        i=$((i + 1))
    done <"$scratch/out"
}

complete_fish() {
    local line
    for line in "${lines[@]}"; do
        printf 'complete -C %q | cut -f1 | sed "s|/\$||" | sort | paste -sd " " -\n' "$line"
    done >"$scratch/lines.fish"
    timeout 60 fish "$scratch/lines.fish"
}

passed=0 failed=0
for shell in bash zsh fish; do
    if ! command -v "$shell" >/dev/null; then
        echo "$shell is not installed: its completion is not tested"
        continue
    fi
    mapfile -t got < <("complete_$shell")
    i=0
    while IFS='|' read -r line expected; do
        [ -n "$line" ] || continue
        want=$(tr ' ' '\n' <<<"$expected" | grep . | sort | paste -sd ' ')
        have=$(tr ' ' '\n' <<<"${got[i]-(no answer)}" | sed 's|/$||' | grep . | sort | paste -sd ' ')
        if [ "$have" = "$want" ]; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "FAIL: $shell after '$line': got '$have', want '$want'"
        fi
        i=$((i + 1))
    done <<<"$rows"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
