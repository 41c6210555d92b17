#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: the programs run
# from it and drive a simulated matrix, and every other file passes its validator.
# usage: install_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
app_id=org.tavlo.Tavlo

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

failures=0
# Runs a check; prints its output only when it fails.
check()
{
    local what=$1 output
    shift
    if output=$("$@" 2>&1); then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        printf '%s\n' "$output" | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}

# Passes when the command succeeds and writes nothing on standard error.
quietly()
{
    local errors
    errors=$("$@" 2>&1 >/dev/null) && [ -z "$errors" ] || { printf '%s\n' "$errors"; return 1; }
}

# Passes when the command succeeds and writes nothing at all (validators print their hints).
silently()
{
    local output
    output=$("$@" 2>&1) && [ -z "$output" ] || { printf '%s\n' "$output"; return 1; }
}

prints_version()
{
    local printed
    printed=$("$@" 2>/dev/null)
    grep -qwF -- "$version" <<<"$printed" || { echo "printed '$printed', not $version"; return 1; }
}

# The installed tavloctl runs a simulated matrix and reads its state through the port.
status_of_simulated_matrix()
{
    "$prefix/bin/tavloctl" sim --link "$scratch/tty" >/dev/null 2>&1 &
    local sim=$! status result=0
    for _ in $(seq 50); do
        [ -e "$scratch/tty" ] && break
        sleep 0.1
    done
    status=$("$prefix/bin/tavloctl" --port "$scratch/tty" status) &&
        grep -E '^  Product model +[^ ]' <<<"$status" && grep -xF 'Routing' <<<"$status" ||
        result=1
    kill "$sim"
    wait "$sim"
    return $result
}

# The usual sizes of the hicolor theme, each PNG as large as its folder says, and the SVG.
icons_have_their_sizes()
{
    local size png
    for size in 16 22 24 32 48 64 128 256; do
        png=$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png
        file "$png" | grep -q "PNG image data, $size x $size," || { file "$png"; return 1; }
    done
    xmllint --noout "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg"
}

# The desktop entry, the metainfo and the icon name one application.
desktop_names_agree()
{
    local desktop=$prefix/share/applications/$app_id.desktop
    local metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
    grep -qx "Icon=$app_id" "$desktop" || { echo "$desktop: Icon is not $app_id"; return 1; }
    grep -q "<id>$app_id</id>" "$metainfo" &&
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        { echo "$metainfo: id or launchable is not $app_id"; return 1; }
}

newest_release_is_this_version()
{
    grep -m1 -o '<release version="[^"]*"' "$prefix/share/metainfo/$app_id.metainfo.xml" |
        grep -qF "\"$version\"" || {
        echo "res/$app_id.metainfo.xml: the newest <release> is not $version"
        return 1
    }
}

unit_runs_installed_tavloctl()
{
    grep -qF "ExecStart=$prefix/bin/tavloctl --port \${TAVLO_PORT} serve" \
        "$prefix/lib/systemd/system/tavlo-serve@.service"
}

# systemd checks an instance of the template: the installed tavloctl and man page must be
# there, and the hardening must keep the exposure at "OK" (2.0 or less).
unit_verifies()
{
    mkdir -p "$scratch/units"
    cp "$prefix/lib/systemd/system/tavlo-serve@.service" "$scratch/units/"
    local unit=$scratch/units/tavlo-serve@ttyUSB0.service
    export MANPATH=$prefix/share/man
    silently systemd-analyze verify "$unit" &&
        systemd-analyze security --offline=true --threshold=20 "$unit" | tail -1
}

check "cmake --install into a prefix" cmake --install "$build" --prefix "$prefix"
check "tavloctl --help" "$prefix/bin/tavloctl" --help
check "tavlo --help" env QT_QPA_PLATFORM=offscreen "$prefix/bin/tavlo" --help
check "tavlo --version" prints_version env QT_QPA_PLATFORM=offscreen "$prefix/bin/tavlo" --version
if "$prefix/bin/tavloctl" --help | grep -q -- '--version'; then
    check "tavloctl --version" prints_version "$prefix/bin/tavloctl" --version
fi
check "tavloctl status of tavloctl sim" status_of_simulated_matrix

check "desktop-file-validate" \
    silently desktop-file-validate "$prefix/share/applications/$app_id.desktop"
check "appstreamcli validate --no-net" \
    appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
check "desktop entry, metainfo and icon share the id $app_id" desktop_names_agree
check "metainfo's newest release is $version" newest_release_is_this_version
check "hicolor icons at the usual sizes" icons_have_their_sizes
for page in tavlo tavloctl; do
    check "man --warnings $page.1" quietly man --warnings -l "$prefix/share/man/man1/$page.1.gz"
    check "lexgrog $page.1" lexgrog "$prefix/share/man/man1/$page.1.gz"
done
check "bash -n completion" bash -n "$prefix/share/bash-completion/completions/tavloctl"
check "unit runs the installed tavloctl" unit_runs_installed_tavloctl
check "systemd-analyze verify and security tavlo-serve@ttyUSB0" unit_verifies
check "copyright and changelog" test -s "$prefix/share/doc/tavlo/copyright" \
    -a -s "$prefix/share/doc/tavlo/changelog.gz"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
