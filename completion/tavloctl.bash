# bash completion for tavloctl: commands, their options, the words they take, and the port
# names that `tavloctl ports` lists.

_tavloctl_port_names()
{
    "$1" ports 2>/dev/null | awk 'NR > 1 { print $1 }'
}

# The words argument number $2 (from 0) may take, read from the "|"-separated list $1.
_tavloctl_argument_words()
{
    local rest=$1 n=$2
    while ((n > 0)) && [[ $rest == *"|"* ]]; do
        rest=${rest#*|}
        n=$((n - 1))
    done
    rest=${rest%%|*}
    ((n == 0)) || [[ $rest == *... ]] && printf '%s\n' "${rest%...}"
}

_tavloctl()
{
    local cur prev words cword split
    _init_completion -s || return

    # Command paths start with "tavloctl": bash has no empty key.
    local -A commands=(
        [tavloctl]="ports status monitor watch send route scene scene-name name audio edid ip
                    dhcp reboot factory decode sim serve mqtt-forget tls-cert"
        [tavloctl audio]="input output"
        [tavloctl edid]="input store-user"
        [tavloctl ip]="static"
        [tavloctl scene]="save recall"
    )
    local -A options=(
        [tavloctl]="--port --token-file --tls-ca --timeout --repeat --version"
        [tavloctl ports]="--json"
        [tavloctl status]="--json"
        [tavloctl monitor]="--hex --follow --for"
        [tavloctl watch]="--json --for --every"
        [tavloctl send]="--wait"
        [tavloctl route]="--wait"
        [tavloctl scene save]="--wait"
        [tavloctl scene recall]="--wait"
        [tavloctl scene-name]="--wait"
        [tavloctl name]="--wait"
        [tavloctl audio input]="--wait"
        [tavloctl audio output]="--wait"
        [tavloctl edid input]="--wait"
        [tavloctl edid store-user]="--wait"
        [tavloctl ip static]="--dhcp --yes --wait"
        [tavloctl dhcp]="--wait"
        [tavloctl reboot]="--yes"
        [tavloctl factory]="--yes"
        [tavloctl decode]="--hex --json"
        [tavloctl sim]="--link --listen --baud-emulation --log --gap --restart-ms --drop-replies
                        --corrupt-checksums --close-after"
        [tavloctl serve]="--listen --api --http --token-file --tls-cert --tls-key --max-clients
                          --max-clients-per-address --client-buffer --mqtt --mqtt-id --mqtt-prefix
                          --mqtt-discovery-prefix --mqtt-user --mqtt-password-file --mqtt-ca"
        [tavloctl mqtt-forget]="--mqtt --mqtt-id --mqtt-prefix --mqtt-discovery-prefix --mqtt-user
                                --mqtt-password-file --mqtt-ca"
        [tavloctl tls-cert]="--out --host --days --force"
    )
    # The words each argument takes, arguments separated by "|" (empty: free text); a last
    # argument ending in "..." repeats.
    local -A arguments=(
        [tavloctl route]="1 2 3 4|all 1 2 3 4..."
        [tavloctl scene save]="1 2 3 4 5 6 7 8"
        [tavloctl scene recall]="1 2 3 4 5 6 7 8"
        [tavloctl scene-name]="1 2 3 4 5 6 7 8|"
        [tavloctl name]="input hdmi hdbt|1 2 3 4|"
        [tavloctl audio input]="all 1 2 3 4|off h a"
        [tavloctl audio output]="all 1 2 3 4|iis spdif|on off"
        [tavloctl edid input]="all 1 2 3 4|default user hdmi hdbt|1 2 3 4 5 6 7 8"
        [tavloctl edid store-user]="1 2 3 4 5 6 7 8 hdmi hdbt..."
        [tavloctl dhcp]="on off"
    )
    # Options that take a value: the word after them is that value.
    local valued="--port|--link|--log|--token-file|--for|--gap|--restart-ms|--drop-replies"
    valued+="|--corrupt-checksums|--close-after|--listen|--api|--http|--timeout|--repeat|--max-clients|--max-clients-per-address"
    valued+="|--client-buffer|--mqtt|--mqtt-id|--mqtt-prefix|--mqtt-user|--mqtt-password-file"
    valued+="|--mqtt-ca|--mqtt-discovery-prefix|--every|--tls-ca|--tls-cert|--tls-key|--out|--host|--days"

    case $prev in
    --port)
        if [[ $cur == */* ]]; then
            _filedir
        else
            COMPREPLY=($(compgen -W "$(_tavloctl_port_names "$1")" -- "$cur"))
        fi
        return
        ;;
    --link | --log | --token-file | --mqtt-password-file | --mqtt-ca | --tls-ca | --tls-cert | --tls-key)
        _filedir
        return
        ;;
    --out)
        _filedir -d
        return
        ;;
    esac
    [[ $prev == @($valued) ]] && return
    $split && return

    # The command path typed so far, and how many of its arguments precede the word.
    local path=tavloctl argc=0 i word
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        if [[ $word == -* ]]; then
            [[ $word == @($valued) ]] && i=$((i + 1))
        elif ((argc == 0)) && [[ " ${commands[$path]//[[:space:]]/ } " == *" $word "* ]]; then
            path+=" $word"
        else
            argc=$((argc + 1))
        fi
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "${options[$path]} --help" -- "$cur"))
    elif [[ -n ${commands[$path]} ]]; then
        COMPREPLY=($(compgen -W "${commands[$path]}" -- "$cur"))
    elif [[ $path == "tavloctl decode" ]]; then
        _filedir
    else
        COMPREPLY=($(compgen -W "$(_tavloctl_argument_words "${arguments[$path]}" "$argc")" \
            -- "$cur"))
    fi
} &&
    complete -F _tavloctl tavloctl
