# Bash completion for lumaret-cli: commands, options, the COM names that
# 'lumaret-cli ports' lists (and all) after --port and --to, and files where a
# command takes one.

# The COM names on this machine: the first word of each line of the port list.
_lumaret_cli_port_names() {
    local name _
    "$1" ports 2>/dev/null | while read -r name _; do
        printf '%s\n' "$name"
    done
}

_lumaret_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="ports version read send learn learn-remote check-remote export import verify map diff clone backup restore undo clear show help"
    local general="-p --port --json --trace -q --quiet -v --verbose --fixed-timing --fast --no-journal -h --help --version"
    COMPREPLY=()

    case $prev in
    -p | --port | --to | --with)
        # A comma list: complete its last name.
        local head= last=$cur
        if [[ $cur == *,* ]]; then
            head=${cur%,*},
            last=${cur##*,}
        fi
        local names
        names="$(_lumaret_cli_port_names "${COMP_WORDS[0]}")"$'\n'all
        local IFS=$'\n'
        COMPREPLY=($(compgen -P "$head" -W "$names" -- "$last"))
        return 0
        ;;
    --slot | --retries | --scratch | --wait | --run | --at)
        return 0
        ;;
    --color)
        COMPREPLY=($(compgen -W "auto always never" -- "$cur"))
        return 0
        ;;
    --map | --session | --against)
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0
        ;;
    esac

    # The command: the first word that is neither an option nor a port.
    local i command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        -p | --port | --to | --with | --map | --session | --slot | --retries | --scratch | --against | --color | --wait | --run | --at) ((i++)) ;;
        -*) ;;
        *)
            command=${COMP_WORDS[i]}
            break
            ;;
        esac
    done

    local options=$general
    case $command in
    read) options+=" --slot --raw --map" ;;
    send) options+=" --map --wait" ;;
    clear) options+=" --slot --map" ;;
    undo) options+=" --list --run --force" ;;
    restore) options+=" --at" ;;
    export) options+=" --accept-unchecked" ;;
    learn-remote) options+=" --retries --confirm --session --restart --write-session --only --allow-same" ;;
    check-remote) options+=" --with --scratch --strict" ;;
    import) options+=" --dry-run" ;;
    verify) options+=" --exact" ;;
    map) options+=" --against --map --color" ;;
    clone) options+=" --to --exact --accept-unchecked" ;;
    backup) options+=" --history --accept-unchecked" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return 0
    fi
    case $command in
    '')
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        ;;
    help)
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        ;;
    backup | restore)
        compopt -o dirnames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -d -- "$cur"))
        ;;
    export | import | verify | map | diff | show | learn-remote | check-remote)
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
    return 0
}

complete -F _lumaret_cli lumaret-cli
