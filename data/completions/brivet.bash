# bash completion for brivet
_brivet()
{
    local current=${COMP_WORDS[COMP_CWORD]}
    # One option at a time.
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W '--toggle --show --hide --settings --quit --pause --resume --help --version' -- "$current"))
    fi
}
complete -F _brivet brivet
