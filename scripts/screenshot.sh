#!/usr/bin/env bash
# Screenshots of the dialog under a virtual X server: idle, and while it programs the demo file
# into the virtual device. Saved as build/screenshot-idle.png and build/screenshot-programming.png.
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

# A slow line, so that programming lasts long enough to be seen.
build/tovik-sim --wire-baud 9600 --erase-ms 200 >"$work/sim.out" &
pids+=($!)
for _ in $(seq 50); do grep -q READY "$work/sim.out" && break; sleep 0.1; done
slave=$(sed -n 's/^READY //p' "$work/sim.out")

export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/tovik"
printf '[Tovik]\nOpenpath=%s\nComPort=0\nBaud=2\n[Ports]\nCOM1=%s\n' \
    "$root/examples/demo.s19" "$slave" >"$XDG_CONFIG_HOME/tovik/tovik.ini"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1

build/tovik &
pids+=($!)
window=""
for _ in $(seq 50); do
    window=$(xdotool search --onlyvisible --name '^Tovik$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the dialog did not appear" >&2; exit 1; }
sleep 1
import -window "$window" build/screenshot-idle.png

# Start: Tab order begins at "Start", which has the focus; Space presses it.
xdotool windowfocus --sync "$window" key --window "$window" space
sleep 4
import -window "$window" build/screenshot-programming.png
echo "build/screenshot-idle.png build/screenshot-programming.png"
