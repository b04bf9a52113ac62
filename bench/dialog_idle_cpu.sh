#!/usr/bin/env bash
# Idle CPU of the open dialog: tovik under a virtual X server, doing nothing for SECONDS (default
# 10); the worker's 1 ms poll is part of what is measured. Prints the share of one core used.
# Usage: bench/dialog_idle_cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-10}
[ -x "$build/tovik" ] || { echo "no $build/tovik: build first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((190 + RANDOM % 50))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
DISPLAY=$display XDG_CONFIG_HOME=$work "$build/tovik" &
pid=$!
pids+=($pid)
sleep 3 # start-up is not idle time

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu)
sleep "$seconds"
after=$(cpu)
awk -v b="$before" -v a="$after" -v t="$ticks" -v s="$seconds" \
    'BEGIN { printf "RESULT dialog_idle_cpu: %.2f %% of one core over %d s (%d ticks)\n", 100 * (a - b) / t / s, s, a - b }'
