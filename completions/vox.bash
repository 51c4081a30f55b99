# Bash completion for the vox programs, installed once under each program's name.
# File names where a file goes, the usual type words at data_type (any word is accepted), at
# the last position the encodings that the program accepts, and the long options of a program
# that has them. Numbers get no suggestions.

# What each argument of a program is, one word a position: file, type (data_type), a number (-)
# or the keywords accepted there, separated by |. A last word ending in ... repeats. Then, after
# " : ", the program's long options, a value's choices after = separated by |; a word that
# starts with - is one of them (not a position) until --, after which every word is a position.
declare -gA _vox_arguments=(
    [voxaxis]="file file - - - file file file type BINARY|ASCII"
    [voxeven]="file file - - - - - - - - - type BINARY_FILE|BINARY|ASCII"
    [voxslab]="file file - - - - - - - file type BINARY|ASCII"
    [voxinfo]="file... : --json --help --version"
    [voxlink]="file file... : --byte-order=big|little|auto --data-url --help --version"
)

# The word as the shell will read it (quotes and backslashes removed), where that is safe to
# work out; else the word as typed.
_vox_dequote() {
    local _vox_value
    if [[ $1 != *[\$\`\(\)\<\>\;\|\&]* ]] && eval "_vox_value=$1" 2>/dev/null; then
        REPLY=$_vox_value
    else
        REPLY=$1
    fi
}

_vox_complete() {
    local -a kinds options
    local row=${_vox_arguments[${1##*/}]-}
    read -ra kinds <<<"${row%% : *}"
    ((${#kinds[@]} > 0)) || return 0
    [[ $row == *' : '* ]] && read -ra options <<<"${row#* : }"

    # Bash splits the line for completion at the characters of COMP_WORDBREAKS as well as at
    # blanks, so scan_12:30.raw arrives as three words. Join them again where the line has no
    # blank between them.
    local -a words=()
    local rest=$COMP_LINE word i
    for ((i = 0; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((i == 0)) || [[ $rest == [[:space:]]* ]]; then
            rest=${rest#"${rest%%[![:space:]]*}"}
            words+=("$word")
        else
            words[${#words[@]} - 1]+=$word
        fi
        rest=${rest#"$word"}
    done
    local position=$((${#words[@]} - 1)) cur=${words[${#words[@]} - 1]}
    # Options take no position, up to --.
    local ended='' option
    if ((${#options[@]} > 0)); then
        position=1
        for word in "${words[@]:1:${#words[@]}-2}"; do
            if [[ -z $ended && $word == -?* ]]; then
                [[ $word == -- ]] && ended=yes
            else
                position=$((position + 1))
            fi
        done
    fi

    # Readline replaces only the text after the last word-break character; the completions
    # must not repeat what comes before it.
    local typed=${COMP_WORDS[COMP_CWORD]}
    for ((i = 0; i < ${#typed}; i++)); do
        [[ $COMP_WORDBREAKS == *"${typed:i:1}"* ]] || break
    done
    ((i < ${#typed})) || typed=
    local before=${cur%"$typed"}

    local kind=${kinds[position - 1]-}
    if ((position >= ${#kinds[@]})) && [[ ${kinds[-1]} == *... ]]; then
        kind=${kinds[-1]%...}
    fi
    if ((${#options[@]} > 0)) && [[ -z $ended && $cur == -?* ]]; then
        kind=option
    fi
    COMPREPLY=()
    case $kind in
    option)
        local -a choices=()
        for option in "${options[@]}"; do
            if [[ $option == *=* ]]; then
                local value values=${option#*=}
                for value in ${values//|/ }; do choices+=("${option%%=*}=$value"); done
            else
                choices+=("$option")
            fi
        done
        mapfile -t COMPREPLY < <(compgen -W "${choices[*]}" -- "$cur")
        ;;
    file)
        compopt -o filenames 2>/dev/null
        _vox_dequote "$cur"
        cur=$REPLY
        _vox_dequote "$before"
        before=$REPLY
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        ;;
    type) mapfile -t COMPREPLY < <(compgen -W "unsigned_char short unsigned_short" -- "$cur") ;;
    - | '') ;;
    *) mapfile -t COMPREPLY < <(compgen -W "${kind//|/ }" -- "$cur") ;;
    esac
    if [[ -n $before ]]; then
        COMPREPLY=("${COMPREPLY[@]#"$before"}")
    fi
    return 0
}

complete -F _vox_complete "${!_vox_arguments[@]}"
