# Fish completion for the vox programs, installed once under each program's name: file names
# where a file goes, the usual type words at data_type (any word is accepted), at the last
# position the encodings that the program accepts, and the long options of a program that has
# them. Numbers get no suggestions.

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
        case voxlink
            echo file 'file...'
        case '*'
            return 1
    end
end

# The program's long options, a value's choices after = separated by |; a word that starts with -
# is one of them (not a position) until --, after which every word is a position.
function __vox_options -a program
    switch $program
        case voxinfo
            echo --json --help --version
        case voxlink
            echo '--byte-order=big|little|auto' --data-url --help --version
    end
end

function __vox_complete -a program
    set -l kinds (__vox_arguments $program | string split ' ')
    set -q kinds[1]; or return
    set -l options (__vox_options $program | string split ' ')
    # The words before the cursor, the program's name first.
    set -l words (commandline -opc)
    set -l position (count $words)
    set -l ended
    if set -q options[1]
        set position 1
        for word in $words[2..-1]
            if test -z "$ended"; and string match -q -- '-?*' $word
                test $word = --; and set ended yes
            else
                set position (math $position + 1)
            end
        end
        if test -z "$ended"; and string match -q -- '-?*' (commandline -ct)
            for option in $options
                if string match -q -- '*=*' $option
                    set -l name (string split -m 1 = -- $option)[1]
                    for value in (string split '|' -- (string split -m 1 = -- $option)[2])
                        echo $name=$value
                    end
                else
                    echo $option
                end
            end
            return
        end
    end
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
