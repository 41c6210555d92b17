# Drives the Windows panel under Wine on an X server of its own, with the keyboard as an operator
# would. Sourced by scripts/test-windows; needs Xvfb, xdotool and ImageMagick's import.

panel_display_pid=""
panel_pid=""
panel_window=""

panel_start() { # display
    export DISPLAY=$1
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    panel_display_pid=$!
    pids+=("$panel_display_pid")
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "FAILED: no X server on $DISPLAY"
    return 1
}

panel_run() { # program, arguments...: starts the panel and waits for its window
    wine "$@" >"$scratch/panel.out" 2>&1 &
    panel_pid=$!
    pids+=("$panel_pid")
    panel_window=""
    for _ in $(seq 120); do
        # Nothing found is a failure of xdotool's, and under pipefail and -e it would end the leg.
        panel_window=$( (xdotool search --onlyvisible --name '^4x8 HDMI2.0 Matrix$' 2>/dev/null ||
            true) | head -1)
        [ -n "$panel_window" ] && break
        sleep 0.25
    done
    [ -n "$panel_window" ] || { echo "FAILED: the panel's window did not appear"; return 1; }
    xdotool windowactivate --sync "$panel_window" >/dev/null 2>&1 ||
        xdotool windowfocus --sync "$panel_window"
    sleep 1
}

panel_keys() {
    xdotool key --delay 150 "$@"
}

# The Link page's focus order from the window's first focus: the page tabs, the port list, the
# baud list, reconnect, Search, then Open Port.
panel_open_port() {
    panel_keys ${TAVLO_PANEL_TABS_TO_OPEN:-Tab Tab Tab Tab} space
}

panel_show_page() { # n: the page's place on the tab strip, Link being 1
    local steps=()
    for _ in $(seq $(($1 - 1))); do steps+=(ctrl+Tab); done
    panel_keys "${steps[@]}"
}

panel_screenshot() { # file
    import -window root "$1"
}

panel_close() {
    kill "$panel_pid" 2>/dev/null || true
    wait "$panel_pid" 2>/dev/null || true
}

panel_stop() {
    kill "$panel_display_pid" 2>/dev/null || true
}
