# Bash completion for voxaxis, voxeven and voxslab, installed once under each program's name.
# File names where a file goes, the usual type words at data_type (any word is accepted), and at
# the last position the encodings that the program accepts. Numbers get no suggestions.

_vox_complete() {
    local cur=${COMP_WORDS[COMP_CWORD]} files last encodings="BINARY ASCII"
    case ${1##*/} in
    voxaxis) files=" 1 2 6 7 8 " last=10 ;;
    voxeven) files=" 1 2 " last=13 encodings="BINARY_FILE BINARY ASCII" ;;
    voxslab) files=" 1 2 10 " last=12 ;;
    *) return 0 ;;
    esac
    COMPREPLY=()
    if [[ $files == *" $COMP_CWORD "* ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    elif ((COMP_CWORD == last - 1)); then
        mapfile -t COMPREPLY < <(compgen -W "unsigned_char short unsigned_short" -- "$cur")
    elif ((COMP_CWORD == last)); then
        mapfile -t COMPREPLY < <(compgen -W "$encodings" -- "$cur")
    fi
    return 0
}

complete -F _vox_complete voxaxis voxeven voxslab
