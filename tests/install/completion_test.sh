#!/usr/bin/env bash
# The bash completion offers every command and option that tavloctl's --help lists, the port
# names that `tavloctl ports` lists, and the words the commands take.
# usage: completion_test.sh COMPLETION TAVLOCTL
set -o pipefail
source "$(dirname "$0")/help_walk.sh"
completion=$1
tavloctl=$2

bash -n "$completion" || exit 1
source /usr/share/bash-completion/bash_completion || exit 1
source "$completion" || exit 1

# Completes the last of the given words as bash would after tavloctl; leaves COMPREPLY.
complete_words()
{
    COMP_WORDS=("$tavloctl" "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _tavloctl "$tavloctl" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
}

failures=()
expect_offered()
{
    local want=$1
    shift
    complete_words "$@"
    [[ " ${COMPREPLY[*]} " == *" $want "* ]] || failures+=("'tavloctl $*' does not offer $want")
}

walk=$(help_walk "$tavloctl") || exit 1
while IFS= read -r line; do
    path=${line%%$'\t'*}
    option=${line#"$path"}
    option=${option#$'\t'}
    read -ra words <<<"$path"
    if [ -z "$option" ] && [ ${#words[@]} -gt 0 ]; then
        expect_offered "${words[-1]}" "${words[@]:0:${#words[@]}-1}" ""
    elif [[ $option == --* ]]; then
        expect_offered "$option" "${words[@]}" "--"
    fi
done <<<"$walk"

ports=$("$tavloctl" ports | awk 'NR > 1 { print $1 }' | sort | xargs)
complete_words --port ""
offered=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
[ "$offered" = "$ports" ] ||
    failures+=("'tavloctl --port' offers '$offered' instead of the ports: '$ports'")

# The words that commands take, where they are not free text.
while read -r want words; do
    read -ra words <<<"$words"
    expect_offered "$want" "${words[@]}" ""
done <<'CASES'
save   scene
recall --port ttyS0 scene
all    route 3 1
4      route 3 1 2
off    audio input all
spdif  audio output 2
on     audio output 2 iis
user   edid input 1
8      edid input 1 user
hdbt   edid store-user 1 2
off    dhcp
input  name
CASES

if [ ${#failures[@]} -gt 0 ]; then
    echo "The completion in $(basename "$completion") falls short of what tavloctl accepts:"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "$(basename "$completion") offers every command, option and port of tavloctl"
