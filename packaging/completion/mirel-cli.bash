# bash completion for mirel-cli                                         -*- shell-script -*-
# Completes the command, the options that go with it and a file name wherever one is expected:
# the pictures, and the value of an option that names a file.

# One line per option: the option, what its value is (file: a file or folder name, text: nothing
# to complete, -: the option takes no value) and the commands it goes with (any: all of them).
_mirel_cli_options='
--message        text  encode
--message-file   file  encode
--file           file  encode
--password       text  encode decode open info
--password-file  file  encode decode open info
--ask-password   -     encode decode open info
--seal           -     encode decode
--offset         text  encode decode info
--output         file  decode open
-o               file  decode open
--force          -     encode decode open
-f               -     encode decode open
--json           -     info
--quiet          -     encode decode open
-q               -     encode decode open
--help           -     any
--version        -     any
'
# The commands, and how many file names each one takes.
_mirel_cli_commands='
encode  2
decode  1
open    1
info    1
help    0
'

# _mirel_cli_kind OPTION: prints the kind of OPTION's value, nothing for an unknown option.
_mirel_cli_kind()
{
    local option kind commands
    while read -r option kind commands; do
        if [[ $option == "$1" ]]; then
            printf '%s\n' "$kind"
            return
        fi
    done <<<"$_mirel_cli_options"
}

_mirel_cli_files()
{
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_mirel_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local word kind command="" files=0 k last=$((COMP_CWORD - 1)) ended=""
    COMPREPLY=()

    # bash splits "--output=name" at the "=": complete the value of the option before it.
    if [[ $cur == "=" ]]; then
        cur=""
    elif [[ $prev == "=" ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    else
        prev=""
    fi
    if [[ -n $prev ]]; then
        [[ $(_mirel_cli_kind "$prev") == file ]] && _mirel_cli_files "$cur"
        return
    fi

    # The command and the file names given so far; an option's value is neither.
    for ((k = 1; k <= last; k++)); do
        word=${COMP_WORDS[k]}
        if [[ -z $ended && $word == -* && $word != - ]]; then
            [[ $word == -- ]] && ended=1 && continue
            kind=$(_mirel_cli_kind "$word")
            if [[ ${COMP_WORDS[k + 1]} == "=" ]]; then
                ((k += 2))
            elif [[ -n $kind && $kind != - ]]; then
                if ((k == last)); then
                    [[ $kind == file ]] && _mirel_cli_files "$cur"
                    return
                fi
                ((k += 1))
            fi
        elif [[ -z $command ]]; then
            command=$word
        else
            ((files += 1))
        fi
    done

    if [[ -z $ended && $cur == -* ]]; then
        local option commands words=()
        while read -r option kind commands; do
            [[ -n $option ]] || continue
            if [[ -z $command || " $commands " == *" any "* || " $commands " == *" $command "* ]]; then
                words+=("$option")
            fi
        done <<<"$_mirel_cli_options"
        mapfile -t COMPREPLY < <(compgen -W "${words[*]}" -- "$cur")
    elif [[ -z $command ]]; then
        local name count words=()
        while read -r name count; do
            [[ -n $name ]] && words+=("$name")
        done <<<"$_mirel_cli_commands"
        mapfile -t COMPREPLY < <(compgen -W "${words[*]}" -- "$cur")
    else
        local name count
        while read -r name count; do
            if [[ $name == "$command" ]] && ((files < count)); then
                _mirel_cli_files "$cur"
            fi
        done <<<"$_mirel_cli_commands"
    fi
}

complete -F _mirel_cli mirel-cli
