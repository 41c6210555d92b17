# Sourced by the tests that hold the man pages and the completion to what the programs' --help
# says. Knows the two help layouts the programs print: CLI11's (tavloctl) and Qt's (tavlo).

# Prints, for PROGRAM and every subcommand its help lists (nested groups included), one line
# per command path ("audio input") and one per option of that path ("audio input<TAB>--wait").
# The program itself is the empty path. Fails when a --help fails.
help_walk()
{
    local program=$1
    shift
    local help
    if ! help=$("$program" "$@" --help 2>&1); then
        echo "help_walk: '$program $* --help' failed:" >&2
        printf '%s\n' "$help" >&2
        return 1
    fi
    local listing sub
    listing=$(printf '%s\n' "$help" | help_listing "$*") || return 1
    printf '%s\n' "$listing" | grep -v '^subcommand '
    for sub in $(printf '%s\n' "$listing" | sed -n 's/^subcommand //p'); do
        help_walk "$program" "$@" "$sub" || return 1
    done
}

# One help text as walk lines for PATH ($1), and "subcommand NAME" for each subcommand listed
# under "Subcommands:". Options are every -x and --long in the first column of an option line.
help_listing()
{
    awk -v path="$1" '
        BEGIN { print path }
        /^[A-Za-z].*:$/ { listing = ($0 == "Subcommands:"); next }
        listing && /^  [a-z]/ { print "subcommand " $1; next }
        /^  +-/ {
            sub(/^ +/, ""); sub(/  .*/, "")
            n = split($0, names, /[ ,]+/)
            for (i = 1; i <= n; i++)
                if (names[i] ~ /^--?[A-Za-z]/) {
                    sub(/[=<].*/, "", names[i])
                    print path "\t" names[i]
                }
        }'
}
