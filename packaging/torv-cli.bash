# bash completion for torv-cli: commands, their options, and serial port
# paths for --port.

_torv_cli_ports()
{
    local path
    for path in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/pts/[0-9]*; do
        [[ -e $path ]] && printf '%s\n' "$path"
    done
}

_torv_cli()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion -n = || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="ports identify show get set backup diff restore logs firmware flash curves
        monitor library melody help"
    local common="--port --library --max-speed --json --quiet --verbose --help --version"

    case $prev in
        --port)
            COMPREPLY=($(compgen -W "$(_torv_cli_ports)" -- "$cur"))
            return ;;
        --library)
            COMPREPLY=($(compgen -f -X '!*.esc' -- "$cur") $(compgen -d -- "$cur"))
            return ;;
        --max-speed)
            COMPREPLY=($(compgen -W "1200 2400 4800 9600 19200 38400 56000 57600 115200 128000 230400 256000 460800" -- "$cur"))
            return ;;
        -o|--output|--url|--seconds|--size|--log|--devid|--hwver)
            [[ $prev == -o || $prev == --output ]] && COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac

    # The command words given so far (skipping options and their values).
    local i word command=() takes_value="--port --library --max-speed -o --output --url --seconds --size --log --devid --hwver"
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        if [[ $word == -* ]]; then
            [[ " $takes_value " == *" $word "* ]] && ((i++))
            continue
        fi
        command+=("$word")
    done

    local group=""
    case ${command[0]-} in
        logs) group="list save workbook decode plot erase write-image" ;;
        firmware) group="list" ;;
        curves) group="show set" ;;
        library) group="update" ;;
        melody) group="show check write" ;;
    esac

    if [[ $cur == -* ]]; then
        local options=$common
        case "${command[*]}" in
            set|"set "*|"curves set"*|"melody write"*) options+=" --no-backup" ;;
            restore*) options+=" --force --no-backup" ;;
            "logs save"*) options+=" --force --log" ;;
            "logs workbook"*) options+=" --log" ;;
            "logs decode"*) options+=" -o" ;;
            "logs plot"*) options+=" -o --size" ;;
            "logs erase"*) options+=" --blocks --yes" ;;
            "logs write-image"*) options+=" --yes" ;;
            flash*) options+=" --yes --bootloader --devid --hwver --no-backup" ;;
            monitor*) options+=" --seconds --csv" ;;
            "library update"*) options+=" --url --check" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    if ((${#command[@]} == 0)); then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    elif [[ -n $group ]] && ((${#command[@]} == 1)); then
        COMPREPLY=($(compgen -W "$group" -- "$cur"))
    elif [[ ${command[0]} == help ]] && ((${#command[@]} == 1)); then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

complete -F _torv_cli torv-cli
