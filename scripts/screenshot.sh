#!/usr/bin/env bash
# Screenshots of the dialog under a virtual X server: idle, while it programs the demo file into
# the virtual device, and while it searches for a device that never answers (the animation shows).
# Saved as build/screenshot-idle.png, build/screenshot-programming.png and
# build/screenshot-searching.png.
# Needs a build in build/ (scripts/test.sh or scripts/demo.sh makes one).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh imagemagick xdotool >/dev/null
[ -x build/tovik ] && [ -x build/tovik-sim ] || { echo "build first: scripts/test.sh" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts tovik-sim with the options after $1 and sets the variable named $1 to its pseudo-terminal.
start_sim() {
    local name=$1 out="$work/$1.out"
    shift
    build/tovik-sim "$@" >"$out" &
    pids+=($!)
    for _ in $(seq 50); do grep -q READY "$out" && break; sleep 0.1; done
    printf -v "$name" '%s' "$(sed -n 's/^READY //p' "$out")"
}
# A slow line, so that programming lasts long enough to be seen.
start_sim slave --wire-baud 9600 --erase-ms 200
# A device that answers only at a rate the dialog never uses, so the search goes on.
start_sim silent --baud-only 1200

export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/tovik"
# The profile: COM1 is this port.
use_port() {
    printf '[Tovik]\nOpenpath=%s\nComPort=0\nBaud=2\n[Ports]\nCOM1=%s\n' \
        "$root/examples/demo.s19" "$1" >"$XDG_CONFIG_HOME/tovik/tovik.ini"
}
use_port "$slave"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1

# Starts the dialog and sets window to it.
start_dialog() {
    build/tovik &
    dialog=$!
    pids+=("$dialog")
    window=""
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --pid "$dialog" --name '^Tovik$' 2>/dev/null |
            head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "the dialog did not appear" >&2; exit 1; }
    sleep 1
}
# Start: Tab order begins at "Start", which has the focus; Space presses it.
press_start() {
    xdotool windowfocus --sync "$window" key --window "$window" space
}

start_dialog
import -window "$window" build/screenshot-idle.png
press_start
sleep 4
import -window "$window" build/screenshot-programming.png
kill "$dialog"

use_port "$silent"
start_dialog
press_start
sleep 2
import -window "$window" build/screenshot-searching.png
echo "build/screenshot-idle.png build/screenshot-programming.png build/screenshot-searching.png"
