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

linux_build=${1:-build}
win_build=${2:-build-win64}
sim=$linux_build/tovik-sim
cli=$win_build/tovik-cli.exe
wine=$PWD/cmake/wine64-run.sh
export WINEPREFIX=${WINEPREFIX:-$PWD/$win_build/wine-prefix}

for program in "$sim" "$cli"; do
    if [ ! -x "$program" ] && [ ! -f "$program" ]; then
        echo "wine_load: $program is missing; build it first" >&2
        exit 1
    fi
done

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -f "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com12"
    rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== wine: making the prefix $WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    # wineboot returns before the prefix is complete; a program started too soon may not load.
    /usr/lib/wine/wineserver -w
fi

passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAILED: $what" >&2
        failed=$((failed + 1))
    fi
}

# 6000 bytes of firmware at 0x20000 (S2 records), made the way the Linux end-to-end tests make
# theirs, and what it holds as a plain image.
head -c 6000 /dev/urandom >"$work/data.bin"
objcopy -I binary -O srec --srec-len 32 --change-addresses 0x20000 "$work/data.bin" \
    "$work/firmware.s19"
srec_cat "$work/firmware.s19" -o "$work/file.bin" -binary

# The device answers at 57600 baud only, so a load shows that the rate Wine put on the line is the
# one tovik-cli asked for.
"$sim" --baud-only 57600 --dump "$work/dump.s19" --link "$WINEPREFIX/dosdevices/com5" \
    >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    grep -q '^READY ' "$work/sim.out" && break
    sleep 0.05
done
slave=$(sed -n 's/^READY //p' "$work/sim.out")
if [ -z "$slave" ]; then
    echo "wine_load: tovik-sim did not start:" >&2
    cat "$work/sim.err" >&2
    exit 1
fi

# A file of ours as a Windows program is given it: Wine's drive Z: is the root directory.
windows_path() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}
firmware=$(windows_path "$work/firmware.s19")

# Runs tovik-cli.exe with a time limit; its exit code in $status, its output in $work/NAME.*.
run_cli() {
    local name=$1
    shift
    status=0
    timeout 120 "$wine" "$cli" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
}

same_image() {
    srec_cat "$work/dump.s19" -o "$work/device.bin" -binary &&
        cmp "$work/file.bin" "$work/device.bin"
}

show_failure() {
    echo "--- exit $status; stdout:" >&2
    cat "$work/$1.out" >&2
    echo "--- stderr:" >&2
    cat "$work/$1.err" >&2
}

echo "== tovik-cli.exe --port COM5 --baud 57600 (Wine's COM5 -> $slave)"
run_cli com5 --port COM5 --baud 57600 -q "$firmware"
[ "$status" -eq 0 ] || show_failure com5
check "COM5: exit code 0" test "$status" -eq 0
check "COM5: the device holds the file's data" same_image

# COM numbers past the eight the port layer opens reach their port through the first slot.
rm -f "$work/dump.s19" "$work/device.bin"
ln -sfn "$slave" "$WINEPREFIX/dosdevices/com12"
echo "== tovik-cli.exe --port COM12 --baud auto (Wine's COM12 -> $slave)"
run_cli com12 --port COM12 --baud auto -q "$firmware"
[ "$status" -eq 0 ] || show_failure com12
check "COM12: exit code 0" test "$status" -eq 0
check "COM12: the device holds the file's data" same_image

# Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event) stops a search that cannot succeed:
# the device does not answer at 38400.
echo "== tovik-cli.exe --baud 38400, interrupted"
# (The wrapper execs Wine, so its process id is the program's.) The progress lines show when the
# search, and with it the handler, is under way.
"$wine" "$cli" --port COM5 --baud 38400 "$firmware" >"$work/interrupt.out" \
    2>"$work/interrupt.err" &
cli_pid=$!
for _ in $(seq 200); do
    grep -q 'Looking for device' "$work/interrupt.err" && break
    sleep 0.1
done
kill -INT "$cli_pid"
status=0
timeout 20 tail --pid="$cli_pid" -f /dev/null || kill -KILL "$cli_pid"
wait "$cli_pid" || status=$?
check "Ctrl-C: exit code 130" test "$status" -eq 130
check "Ctrl-C: says it stopped" grep -q '^tovik-cli: stopped' "$work/interrupt.err"

# A COM port nobody has: exit code 4, and the message names the Windows device.
echo "== tovik-cli.exe --port COM200"
run_cli com200 --port COM200 -q "$firmware"
check "COM200: exit code 4" test "$status" -eq 4
check "COM200: the message names \\\\.\\COM200" grep -qF '\\.\COM200' "$work/com200.err"

echo "== tovik-cli.exe --simulate"
run_cli simulate --simulate -q "$firmware"
check "--simulate: exit code 2" test "$status" -eq 2
check "--simulate: says it is not available" grep -q 'not available on Windows' \
    "$work/simulate.err"

echo "== tovik-cli.exe --list-ports"
run_cli list --list-ports
check "--list-ports: exit code 0" test "$status" -eq 0
check "--list-ports: COM names or none" \
    grep -qE '^(COM[0-9]+( .*)?|no serial ports found)'$'\r''?$' "$work/list.out"

echo "wine_load: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
