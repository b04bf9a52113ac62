#!/usr/bin/env bash
# The Windows dialog tovik.exe under Wine on a virtual X server, driven only from the keyboard as
# a user would drive it, against tovik-sim on a pseudo-terminal that Wine's COM5 links to. What
# the device holds must equal the file byte for byte; what the boxes said is read from Wine's own
# trace of every message box it shows (WINEDEBUG=+msgbox), their captions from the X windows.
#
#   tests/e2e/wine_dialog.sh [LINUX_BUILD [WIN64_BUILD]]     (defaults: build, build-win64)
#
# SCREENSHOTS=DIR also saves the dialog idle, searching (the animation playing) and programming
# as DIR/screenshot-win32-idle.png, -searching.png and -programming.png (scripts/screenshot-win32.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."

sim=${1:-build}/tovik-sim
dialog=${2:-build-win64}/tovik.exe
wine=$PWD/cmake/wine64-run.sh
export WINEPREFIX=${WINEPREFIX:-$PWD/${2:-build-win64}/wine-prefix}
# No prompt to install Mono or Gecko: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
for program in "$sim" "$dialog"; do
    [ -f "$program" ] || { echo "wine_dialog: $program is missing; build it first" >&2; exit 1; }
done
for tool in Xvfb xdotool srec_cat objcopy; do
    command -v "$tool" >/dev/null || { echo "wine_dialog: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
shots=${SCREENSHOTS:-}
[ -z "$shots" ] || command -v import >/dev/null ||
    { echo "wine_dialog: import (ImageMagick) is missing" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$WINEPREFIX/dosdevices/com5" "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== wine: making the prefix $WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    # wineboot returns before the prefix is complete; a program started too soon may not load.
    /usr/lib/wine/wineserver -w
fi
# Without a window manager Wine's windows draw their own frame and caption only when they are
# not "managed".
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
# A Wine session started without a display (the console tests) cannot open windows, and new
# programs join a session that is still running: let it end first.
/usr/lib/wine/wineserver -w
profile_dir="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/tovik"
profile="$profile_dir/tovik.ini"

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=:$(cat "$work/display")

. tests/e2e/checks.sh
# Polls for a condition, at most SECONDS: wait_for SECONDS COMMAND...
wait_for() {
    local tries=$(($1 * 20))
    shift
    for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.05; done
    "$@"
}

# make_firmware NAME: NAME.bin, 6000 random bytes, and NAME.s19, S2 records holding them at
# 0x20000; file.bin is the plain image the firmware's records hold. Wine's drive Z: is the root
# directory.
make_firmware() {
    head -c 6000 /dev/urandom >"$work/$1.bin"
    objcopy -I binary -O srec --srec-len 32 --change-addresses 0x20000 "$work/$1.bin" \
        "$work/$1.s19"
}
make_firmware firmware
srec_cat "$work/firmware.s19" -o "$work/file.bin" -binary
windows_path() { local p="Z:${1//\//\\}"; echo "$p"; }

# start_sim NAME OPTIONS...: tovik-sim behind Wine's COM5, tracing every frame it receives.
sim_pid=
start_sim() {
    local name=$1
    shift
    rm -f "$work/dump.s19"
    "$sim" --trace --dump "$work/dump.s19" --link "$WINEPREFIX/dosdevices/com5" "$@" \
        >"$work/$name.sim.out" 2>"$work/$name.sim.err" &
    sim_pid=$!
    pids+=("$sim_pid")
    wait_for 5 grep -qs '^READY ' "$work/$name.sim.out" ||
        { echo "wine_dialog: tovik-sim did not start" >&2; cat "$work/$name.sim.err" >&2; exit 1; }
}
stop_sim() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
}

# start_dialog NAME OPENPATH COMPORT [LINE...]: a fresh profile with these settings (and the lines
# after them), then tovik.exe with its window in $window.
dialog_pid= window= log=
start_dialog() {
    log="$work/$1.wine.err"
    mkdir -p "$profile_dir"
    printf '[Tovik]\r\nOpenpath=%s\r\nComPort=%s\r\n' "$2" "$3" >"$profile"
    shift 3
    [ $# -eq 0 ] || printf '%s\r\n' "$@" >>"$profile"
    WINEDEBUG=+msgbox "$wine" "$dialog" >/dev/null 2>"$log" &
    dialog_pid=$!
    pids+=("$dialog_pid")
    window=
    # A cold Wine takes some 10 s to show its first window.
    for _ in $(seq 600); do
        window=$(xdotool search --onlyvisible --name '^Tovik$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.05
    done
    [ -n "$window" ] || { echo "wine_dialog: the dialog did not appear" >&2; cat "$log" >&2; exit 1; }
}
# keys KEY...: the keys to the dialog, which gets the X focus first.
keys() {
    xdotool windowfocus --sync "$window" key --delay 80 "$@"
}
# The boxes Wine has shown, one text a line as its trace writes it (line ends as \n; a long text
# cut short and ended by "...").
boxes() {
    sed -n 's/^.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"\(\.\.\.\)\{0,1\}$/\1/p' "$log"
}
# box_shown TEXT [TEXT_ENDS]: a box said exactly TEXT, or TEXT and then more (for the help).
box_shown() {
    if [ -n "${2:-}" ]; then
        boxes | grep -qF -- "$1"
    else
        boxes | grep -qxF -- "$1"
    fi
}
# The visible top-level window of a box: the one besides the dialog (xdotool matches names
# without regard to case, so the dialog "Tovik" is among the matches for "tovik").
box_window() {
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        [ "$id" != "$window" ] && [ "$(xdotool getwindowname "$id")" = "$1" ] && echo "$id" && return 0
    done
    return 1
}
# answer_box TEXT KEY [TEXT_ENDS]: waits for the box with this text, checks its caption, and
# answers it.
answer_box() {
    local text=$1 key=$2 box=
    check "box \"$text\" appears" wait_for 60 box_shown "$text" "${3:-}"
    box=$(wait_for 10 box_window tovik || true)
    check "box \"$text\": caption is the program's name" test -n "$box"
    [ -n "$box" ] || return 0
    xdotool windowfocus --sync "$box" key "$key"
    wait_for 10 bash -c "! xdotool search --onlyvisible --name '^tovik\$' 2>/dev/null | grep -qvx '$window'"
}
dialog_ended() { ! kill -0 "$dialog_pid" 2>/dev/null; }
# A dialog that did not end is ended here, so the next case starts alone.
reap_dialog() {
    dialog_ended || { kill "$dialog_pid" 2>/dev/null; wait_for 10 dialog_ended || true; }
}
# end_dialog KEY: the key that ends the dialog (Escape, alt+F4), and the process must be gone.
end_dialog() {
    keys "$1"
    check "$1 ends the dialog" wait_for 10 dialog_ended
    reap_dialog
}
# same_image [IMAGE]: the device holds IMAGE (default: the firmware's).
same_image() {
    srec_cat "$work/dump.s19" -o "$work/device.bin" -binary &&
        cmp "${1:-$work/file.bin}" "$work/device.bin"
}
profile_has() { grep -qxF "$1" "$profile"; }
received_nothing() { ! grep -q '^tovik-sim rx:' "$work/$1.sim.err"; }
# No frame for three probe periods: nobody is searching any more.
line_quiet() {
    local before
    before=$(grep -c '^tovik-sim rx:' "$1")
    sleep 0.6
    [ "$(grep -c '^tovik-sim rx:' "$1")" = "$before" ]
}
shot() {
    [ -n "$shots" ] || return 0
    # A picture only, no check: time for the window to paint (and the animation to turn).
    sleep 1
    import -window "$window" "$shots/screenshot-win32-$1.png"
}

firmware=$(windows_path "$work/firmware.s19")

echo "== a load: Space on Start, the completion box, Return, Esc"
# No "Baud" in the profile: the dialog starts at 38400, the only rate the device answers, and Esc
# must write it.
start_sim load --baud-only 38400
start_dialog load "$firmware" 4
shot idle
keys space
answer_box 'Transmission complete.\nDevice started.' Return
end_dialog Escape
stop_sim
check "load: the device holds the file's data" same_image
check "load: the profile holds ComPort=4" profile_has "ComPort=4"
check "load: the profile holds Baud=1" profile_has "Baud=1"

echo "== search: the file chooser, then a load of the chosen file"
# The chooser starts in the folder of "Openpath" (whose file need not exist), so the bare name
# typed into it names the firmware there. Tab order: Start, Interface, the path, search.
start_sim search
start_dialog search "$(windows_path "$work/earlier.s19")" 4
keys Tab Tab Tab space
chooser=$(wait_for 20 box_window Open || true)
check "search: the file chooser opens" test -n "$chooser"
if [ -n "$chooser" ]; then
    xdotool windowfocus --sync "$chooser" type --delay 20 firmware.s19
    xdotool windowfocus --sync "$chooser" key Return
fi
check "search: the chosen file is kept as Openpath" wait_for 10 profile_has "Openpath=$firmware"
keys shift+Tab shift+Tab shift+Tab space
answer_box 'Transmission complete.\nDevice started.' Return
end_dialog Escape
stop_sim
check "search: the device holds the chosen file's data" same_image

echo "== F1, and Enter outside a button"
# Enter in the path field is the dialog's OK: it ends without keeping the selections.
start_sim keys
start_dialog keys "$firmware" 4
keys F1
answer_box 'Tovik loads a Motorola S-record firmware file' Return more
keys Tab Tab Return
check "Return in the path field ends the dialog" wait_for 10 dialog_ended
reap_dialog
stop_sim
check "keys: nothing reached the device" received_nothing keys
check "keys: Enter kept no selections" bash -c "! grep -q '^Baud=' '$profile'"

echo "== Stop during the search, then a load at the rate that answers"
# The device answers at 57600 only; the search at 38400 finds nothing until Stop. Stop has the
# focus once Start is pressed; after Stop it goes back to Start, Shift+Tab reaches the Baudrate
# list (the last tab stop), Down picks 57600, Tab wraps round to Start.
start_sim stop --baud-only 57600
start_dialog stop "$firmware" 4
keys space
check "stop: the search is under way" wait_for 30 grep -q 'ignored: line at another rate' \
    "$work/stop.sim.err"
shot searching
keys space
# The inputs come back once the probe in flight has ended and the port is let go.
check "stop: the search ends" wait_for 10 line_quiet "$work/stop.sim.err"
keys shift+Tab Down Tab space
answer_box 'Transmission complete.\nDevice started.' Return
end_dialog Escape
stop_sim
check "stop: the device holds the file's data" same_image
check "stop: the profile holds Baud=2" profile_has "Baud=2"

echo "== the file rewritten in place during programming"
# The dialog keeps the chosen file open and programs a copy of it taken at Start: what the device
# gets is what was checked, even when the file changes under the open stream (its later records
# lie beyond what a read buffer holds at the first write).
cp "$work/firmware.s19" "$work/rewritten.s19"
make_firmware other
start_sim rewrite --wire-baud 38400
start_dialog rewrite "$(windows_path "$work/rewritten.s19")" 4
keys space
check "rewrite: programming is under way" wait_for 60 grep -q '^tovik-sim rx:.* 21 57 ' \
    "$work/rewrite.sim.err"
cat "$work/other.s19" >"$work/rewritten.s19"
answer_box 'Transmission complete.\nDevice started.' Return
end_dialog Escape
stop_sim
check "rewrite: the device holds the file as it was at Start" same_image

echo "== the close box during programming"
# A slow line, so that programming lasts long enough to be interrupted. Com1 reaches the device
# through the profile's port map.
start_sim close --wire-baud 9600 --exit-after-go
start_dialog close "$firmware" 0 '[Ports]' 'COM1=\\.\COM5'
keys space
# A write frame: "!W" after the frame's three header bytes.
check "close: programming is under way" wait_for 60 grep -q '^tovik-sim rx:.* 21 57 ' \
    "$work/close.sim.err"
shot programming
keys alt+F4
check "close: the dialog is gone" wait_for 60 dialog_ended
reap_dialog
# It ended after the write in flight, not after the whole file: the device, which leaves once it
# has answered the start command, is still there.
check "close: the rest of the file was not sent" kill -0 "$sim_pid"
stop_sim
check "close: no completion box" bash -c "! grep -q 'Transmission complete' '$log'"
check "close: the close box wrote the selections" profile_has "Baud=1"

echo "== no interface chosen, then one typed in lower case"
# An index outside the list leaves it empty: Start must say so and send nothing. Then "com5" typed
# into the list's edit field (Tab selects its text) names Com5, whatever its case.
start_sim typed
start_dialog typed "$firmware" 999
keys space
answer_box 'Please choose an interface first !' Return
check "typed: nothing reached the device without an interface" received_nothing typed
keys Tab
xdotool windowfocus --sync "$window" type --delay 80 com5
keys shift+Tab space
answer_box 'Transmission complete.\nDevice started.' Return
end_dialog Escape
stop_sim
check "typed: the device holds the file's data" same_image
check "typed: the profile holds ComPort=4" profile_has "ComPort=4"

echo "== Esc after Stop during the erase"
# Stop during an erase leaves every control disabled until the erase in flight has ended; Esc
# must still reach the dialog meanwhile, and end it once that erase is over.
start_sim winddown --erase-ms 4000
start_dialog winddown "$firmware" 4
keys space
check "winddown: the erase is under way" wait_for 60 grep -q '^tovik-sim rx:.* 21 45 ' \
    "$work/winddown.sim.err"
keys space
end_dialog Escape
stop_sim
check "winddown: nothing was written" \
    bash -c "! grep -q '^tovik-sim rx:.* 21 57 ' '$work/winddown.sim.err'"
check "winddown: Esc wrote the selections" profile_has "Baud=1"

echo "wine_dialog: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
