# Fish completion for the vox programs, installed once under each program's name: file names
# where a file goes, the usual type words at data_type (any word is accepted), and at the last
# position the encodings that the program accepts. Numbers get no suggestions.

# What each argument of a program is, one word a position: file, type (data_type), a number (-)
# or the keywords accepted there, separated by |. A last word ending in ... repeats.
function __vox_arguments -a program
    switch $program
        case voxaxis
            echo file file - - - file file file type 'BINARY|ASCII'
        case voxeven
            echo file file - - - - - - - - - type 'BINARY_FILE|BINARY|ASCII'
        case voxslab
            echo file file - - - - - - - file type 'BINARY|ASCII'
        case voxinfo
            echo 'file...'
        case '*'
            return 1
    end
end

function __vox_complete -a program
    set -l kinds (__vox_arguments $program | string split ' ')
    set -q kinds[1]; or return
    # The words before the cursor, the program's name first.
    set -l position (count (commandline -opc))
    set -l kind $kinds[$position]
    if test $position -ge (count $kinds); and string match -q -- '*...' $kinds[-1]
        set kind (string replace -- '...' '' $kinds[-1])
    end
    switch "$kind"
        case file
            __fish_complete_path (commandline -ct)
        case type
            printf '%s\n' unsigned_char short unsigned_short
        case - ''
        case '*'
            string split '|' -- $kind
    end
end

set -l program (basename (status filename) .fish)
complete -c $program -f -a "(__vox_complete $program)"
