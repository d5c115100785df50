# bash completion for brivet
_brivet()
{
    local current=${COMP_WORDS[COMP_CWORD]}
    # One option at a time.
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W '--toggle --show --hide --settings --quit --pause --resume --export --import --help --version' -- "$current"))
    elif ((COMP_CWORD == 2)) && [[ ${COMP_WORDS[1]} == --export || ${COMP_WORDS[1]} == --import ]]; then
        COMPREPLY=($(compgen -f -- "$current"))
    fi
}
complete -F _brivet brivet
