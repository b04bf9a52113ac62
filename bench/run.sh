#!/usr/bin/env bash
# Builds the Release tree build-bench/, makes the S-record images the benchmarks load (once; they
# are kept in build-bench/bench-data/, never in the repository), runs every benchmark and ends with
# a summary of their RESULT lines. The full output is also kept in build-bench/bench-output.txt.
#
# Takes about three to four minutes on a 2-core machine. The figures depend on the machine and on
# what else runs on it: run it on a quiet machine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
data=$build/bench-data
log=$build/bench-output.txt
started=$(date +%s)

for tool in cmake ninja srec_cat objcopy; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run.sh: $tool is missing; scripts/install-deps.sh installs it" >&2
        exit 1
    fi
done
if ! command -v valgrind >/dev/null 2>&1; then
    # Only the allocation counts need it; without it they are left out.
    "$root/scripts/install-deps.sh" valgrind || echo "run.sh: no valgrind, no allocation counts"
fi

echo "== build (Release) in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tovik-cli tovik-sim tovik-bench-write tovik-bench-cli-load \
    tovik-bench-file-check tovik-bench-parallel-load tovik-bench-station tovik | tail -n 1

# Random data, so that bytes the link must escape turn up as often as in a real image. Record
# types as the loader takes them: S3 data, an S7 end record, no S5 count record.
mkdir -p "$data"
make_image() { # name, data bytes, load address, line length (46: 16 data bytes, 78: 32)
    local name=$1 size=$2 address=$3 line=$4
    if [ ! -s "$data/$name" ]; then
        if [ ! -s "$data/random-$size.bin" ]; then
            head -c "$size" /dev/urandom >"$data/random-$size.bin"
        fi
        srec_cat "$data/random-$size.bin" -binary -offset "$address" -o "$data/$name" -motorola \
            -address-length=4 -line-length="$line" -disable=data-count \
            -execution-start-address="$address"
    fi
}
echo "== images in $data"
make_image img32k.s37 32768 0x00020000 46
make_image img64k.s37 65536 0x00020000 46
make_image img64k-low.s37 65536 0x00000000 46
make_image img1m.s37 1048576 0x00020000 46
make_image img16m.s37 16777216 0x00020000 78
make_image img64m.s37 67108864 0x00020000 78

{
    echo "== machine: $(nproc) cores, kernel $(uname -r)," \
        "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "   load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    "$build/tovik-bench-write"
    echo
    "$build/tovik-bench-cli-load" line "$build" "$data/img64k.s37" "$data/img64k-low.s37"
    echo
    "$build/tovik-bench-cli-load" latency "$build" "$data/img32k.s37"
    echo
    "$build/tovik-bench-parallel-load" "$build" "$data/img64k.s37"
    echo
    "$build/tovik-bench-station" "$build" "$root/examples/demo.s19"
    echo
    "$build/tovik-bench-cli-load" overhead "$build" "$data/img1m.s37"
    echo
    "$build/tovik-bench-file-check" "$build" "$data/img16m.s37" "$data"
    echo
    "$build/tovik-bench-file-check" "$build" "$data/img64m.s37" "$data" 3
    echo
    "$build/tovik-bench-cli-load" memory "$build" "$data/img64k.s37" "$data/img1m.s37"
    if [ -x "$build/tovik" ] && command -v Xvfb >/dev/null 2>&1; then
        echo
        "$root/bench/dialog_idle_cpu.sh" "$build" 10
    fi
} 2>&1 | tee "$log"

echo
echo "== summary ($(($(date +%s) - started)) s in all)"
grep '^RESULT ' "$log" | sed 's/^RESULT /  /'
