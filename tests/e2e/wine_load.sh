#!/usr/bin/env bash
# The Windows tovik-cli.exe under Wine, loading a firmware file into tovik-sim over a COM port
# that Wine maps to the virtual device's pseudo-terminal. The device's image must equal the
# file's data byte for byte.
#
#   tests/e2e/wine_load.sh [LINUX_BUILD [WIN64_BUILD]]     (defaults: build, build-win64)
#
# Wine keeps its installation in WINEPREFIX (default: WIN64_BUILD/wine-prefix, made on first use).
# It opens COMn through the link WINEPREFIX/dosdevices/comN, so linking that to the pseudo-terminal
# is all it takes to give the Windows program a serial port.
set -euo pipefail
cd "$(dirname "$0")/../.."

sim=${1:-build}/tovik-sim
cli=${2:-build-win64}/tovik-cli.exe
wine=$PWD/cmake/wine64-run.sh
export WINEPREFIX=${WINEPREFIX:-$PWD/${2:-build-win64}/wine-prefix}
for program in "$sim" "$cli"; do
    [ -f "$program" ] || { echo "wine_load: $program is missing; build it first" >&2; exit 1; }
done

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -z "$sim_pid" ] || { kill "$sim_pid" && wait "$sim_pid"; } 2>/dev/null || true
    rm -rf "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com12" "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== wine: making the prefix $WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    # wineboot returns before the prefix is complete; a program started too soon may not load.
    /usr/lib/wine/wineserver -w
fi

. tests/e2e/checks.sh

# 6000 bytes of firmware at 0x20000 (S2 records), made the way the Linux end-to-end tests make
# theirs, and what it holds as a plain image. Wine's drive Z: is the root directory.
head -c 6000 /dev/urandom >"$work/data.bin"
objcopy -I binary -O srec --srec-len 32 --change-addresses 0x20000 "$work/data.bin" \
    "$work/firmware.s19"
srec_cat "$work/firmware.s19" -o "$work/file.bin" -binary
firmware="Z:${work//\//\\}\\firmware.s19"

# The device answers at 57600 baud only, so a load shows that the rate Wine put on the line is the
# one tovik-cli asked for.
"$sim" --baud-only 57600 --dump "$work/dump.s19" --link "$WINEPREFIX/dosdevices/com5" \
    >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^READY ' "$work/sim.out" && break; sleep 0.05; done
slave=$(sed -n 's/^READY //p' "$work/sim.out")
[ -n "$slave" ] || { echo "wine_load: tovik-sim did not start:" >&2; cat "$work/sim.err" >&2; exit 1; }

# Runs tovik-cli.exe with a time limit; its exit code in $status, its output in $work/NAME.*
# (shown when it fails where it should not).
run_cli() {
    local name=$1 expect=$2
    shift 2
    status=0
    timeout 120 "$wine" "$cli" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
    [ "$status" -eq "$expect" ] || cat "$work/$name.out" "$work/$name.err" >&2
    check "$name: exit code $expect" test "$status" -eq "$expect"
}
same_image() {
    srec_cat "$work/dump.s19" -o "$work/device.bin" -binary && cmp "$work/file.bin" "$work/device.bin"
}

echo "== tovik-cli.exe --port COM5 --baud 57600 (Wine's COM5 -> $slave)"
run_cli COM5 0 --port COM5 --baud 57600 -q "$firmware"
check "COM5: the device holds the file's data" same_image

# COM numbers past the eight the port layer opens reach their port through the first slot.
rm -f "$work/dump.s19" "$work/device.bin"
ln -sfn "$slave" "$WINEPREFIX/dosdevices/com12"
echo "== tovik-cli.exe --port COM12 --baud auto (Wine's COM12 -> $slave)"
run_cli COM12 0 --port COM12 --baud auto -q "$firmware"
check "COM12: the device holds the file's data" same_image

# Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event) stops a search that cannot succeed:
# the device does not answer at 38400. (The wrapper execs Wine, so its process id is the
# program's.) The progress lines show when the search, and with it the handler, is under way.
echo "== tovik-cli.exe --baud 38400, interrupted"
"$wine" "$cli" --port COM5 --baud 38400 "$firmware" >"$work/interrupt.out" 2>"$work/interrupt.err" &
cli_pid=$!
for _ in $(seq 200); do grep -q 'Looking for device' "$work/interrupt.err" && break; sleep 0.1; done
kill -INT "$cli_pid"
status=0
timeout 20 tail --pid="$cli_pid" -f /dev/null || kill -KILL "$cli_pid"
wait "$cli_pid" || status=$?
check "Ctrl-C: exit code 130" test "$status" -eq 130
check "Ctrl-C: says it stopped" grep -q '^tovik-cli: stopped' "$work/interrupt.err"

# A COM port nobody has: exit code 4, and the message names the Windows device.
echo "== tovik-cli.exe --port COM200"
run_cli COM200 4 --port COM200 -q "$firmware"
check "COM200: the message names \\\\.\\COM200" grep -qF '\\.\COM200' "$work/COM200.err"

echo "== tovik-cli.exe --simulate"
run_cli simulate 2 --simulate -q "$firmware"
check "simulate: says it is not available" grep -q 'not available on Windows' "$work/simulate.err"

echo "wine_load: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
