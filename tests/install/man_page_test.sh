#!/usr/bin/env bash
# The man page documents every command and option that the program's --help lists.
# usage: man_page_test.sh PAGE PROGRAM
# A command of tavloctl counts as documented when a line of COMMANDS begins with it; its
# options must appear in that entry. Options of the program itself, and -h/--help, may appear
# anywhere in the page.
set -euo pipefail
source "$(dirname "$0")/help_walk.sh"
page=$1
program=$2

walk=$(help_walk "$program")
text=$(MANWIDTH=1000 man -l "$page")

missing=$(awk -F '\t' '
    NR == FNR {
        if (NF <= 1) paths[$1] = 1
        else options[$1 "\t" $2] = 1
        next
    }
    /^[A-Z]/ { commands = ($0 == "COMMANDS"); current = "" }
    # An entry begins at the usual indent with a command path: the longest one wins.
    commands && /^       [^ ]/ {
        current = ""
        entry = substr($0, 8)
        for (p in paths)
            if (p != "" && (entry == p || index(entry, p " ") == 1)) {
                headed[p] = 1
                if (length(p) > length(current)) current = p
            }
    }
    {
        line = $0
        while (match(line, /(^|[^-A-Za-z0-9])--?[A-Za-z][-A-Za-z0-9]*/)) {
            word = substr(line, RSTART, RLENGTH)
            sub(/^[^-]/, "", word)
            anywhere[word] = 1
            if (current != "") inentry[current "\t" word] = 1
            line = substr(line, RSTART + RLENGTH)
        }
    }
    END {
        for (p in paths)
            if (p != "" && !(p in headed)) print "command: " p
        for (key in options) {
            split(key, part, "\t")
            global = part[1] == "" || part[2] == "-h" || part[2] == "--help"
            if (global ? !(part[2] in anywhere) : !(key in inentry))
                print "option: " (part[1] == "" ? "" : part[1] " ") part[2]
        }
    }' <(printf '%s\n' "$walk") <(printf '%s\n' "$text") | sort)

if [ -n "$missing" ]; then
    echo "$(basename "$page") does not document what '$(basename "$program") --help' lists:"
    printf '%s\n' "$missing" | sed 's/^/  /'
    echo "Add them to docs/man/$(basename "${page%.gz}").scd."
    exit 1
fi
echo "$(basename "$page") documents every command and option of $(basename "$program")"
