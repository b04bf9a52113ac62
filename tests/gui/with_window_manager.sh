#!/bin/sh
# Runs a command (the GUI tests) on the display it is given, under a window manager: one that
# reparents the windows into frames, decides who gets the focus and answers the requests of the
# desktop standards, as on a user's desktop. Usage: with_window_manager.sh COMMAND [ARGS...]
set -u

log=$(mktemp)
openbox --sm-disable >"$log" 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null; rm -f "$log"' EXIT

# The window manager has taken the screen once it names itself on the root window.
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    tries=$((tries + 1))
    if [ "$tries" -gt 300 ] || ! kill -0 "$wm" 2>/dev/null; then
        echo "with_window_manager: openbox did not take the screen" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done

"$@"
