#!/usr/bin/env bash
# Installs what is missing, builds Tovik and runs every test:
#   build/        the normal build, all tests, and the Debian package, unpacked and tried
#   build-asan/   AddressSanitizer + UndefinedBehaviorSanitizer, all tests
#   build-tsan/   ThreadSanitizer, all tests
#   build-fuzz/   libFuzzer targets (clang), each run for FUZZ_SECONDS (default 60)
#   build-win32/  32-bit Windows (MinGW-w64): tovik.exe and tovik-cli.exe built and checked to be
#                 32-bit programs needing only Windows' own DLLs; the zip for Windows
#   build-win64/  64-bit Windows: unit tests, tovik-cli.exe against tovik-sim and the dialog
#                 tovik.exe driven from the keyboard, under Wine (and Xvfb)
# TOVIK_QUICK=1 runs only the normal build, for a quick look while working.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
fuzz_seconds=${FUZZ_SECONDS:-60}

build_and_test() {
    local dir=$1
    shift
    echo "== $dir: configure and build"
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "== $dir: tests"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

build_and_test build

# Root opens what it likes and ignores a line's exclusive claim: the end-to-end tests run again as
# a user without rights, from copies of the programs in a folder that user can reach.
if [ "$(id -u)" = 0 ]; then
    echo "== build: end-to-end tests as an unprivileged user"
    programs=$(mktemp -d)
    cp build/tovik-cli build/tovik-sim build/tests/e2e/tovik_e2e_tests "$programs"
    chmod 755 "$programs"
    # Two shards side by side: the tests mostly wait for the device.
    shard_pids=()
    for shard in 0 1; do
        (cd "$programs" && setpriv --reuid=65534 --regid=65534 --clear-groups \
            env HOME="$programs" TMPDIR=/tmp TOVIK_PROGRAMS="$programs" GTEST_TOTAL_SHARDS=2 \
            GTEST_SHARD_INDEX=$shard ./tovik_e2e_tests --gtest_brief=1) &
        shard_pids+=($!)
    done
    for pid in "${shard_pids[@]}"; do
        wait "$pid"
    done
    rm -rf "$programs"
fi

# The Debian package: built from the normal build, unpacked into a scratch root, and every
# program in it must run and say its version (tovik without a display).
echo "== build: Debian package"
cmake --build build --target package | tail -n 1
deb=(build/tovik_*_"$(dpkg --print-architecture)".deb)
[ -f "${deb[0]}" ] || { echo "no package build/tovik_<version>_<arch>.deb" >&2; exit 1; }
deb_root=$(mktemp -d)
trap 'rm -rf "$deb_root"' EXIT
dpkg-deb -x "${deb[0]}" "$deb_root"
version=$(dpkg-deb -f "${deb[0]}" Version)
for program in tovik tovik-cli tovik-sim; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$deb_root/usr/bin/$program" --version)
    if [ "$said" != "$program $version" ]; then
        echo "${deb[0]}: /usr/bin/$program --version said '$said', not '$program $version'" >&2
        exit 1
    fi
done
for doc in README.md examples/demo.s19; do
    [ -s "$deb_root/usr/share/doc/tovik/$doc" ] || { echo "${deb[0]}: no /usr/share/doc/tovik/$doc" >&2; exit 1; }
done
depends=$(dpkg-deb -f "${deb[0]}" Depends)
[[ "$depends" == *libc6* ]] || { echo "${deb[0]}: no run-time dependencies declared" >&2; exit 1; }
echo "${deb[0]}: version $version, depends on $depends"

if [ "${TOVIK_QUICK:-0}" = 1 ]; then
    exit 0
fi

# The GUI toolkit's libraries are not built with the sanitizers; tests/*.supp keep their own
# caches and helper threads out of the reports.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    build_and_test build-asan -DTOVIK_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug

# ThreadSanitizer cannot map its shadow memory under the kernel's full address-space
# randomisation; setarch -R runs the tests without it.
tsan_run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    tsan_run=(setarch "$(uname -m)" -R)
fi
echo "== build-tsan: configure and build"
cmake -S . -B build-tsan -G Ninja -DTOVIK_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-tsan -j "$jobs"
echo "== build-tsan: tests"
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" "${tsan_run[@]}" ctest --test-dir build-tsan --output-on-failure \
    -j "$jobs" --timeout 300

echo "== build-fuzz: configure and build"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTOVIK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null
cmake --build build-fuzz -j "$jobs" --target tovik_fuzzers
for fuzzer in build-fuzz/tests/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    echo "== $name: ${fuzz_seconds}s"
    "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" \
        tests/fuzz/seeds/"${name#fuzz_}" 2>&1 | tail -n 12
done
# Windows. 32-bit programs cannot run on these machines, so the 32-bit build is only built and
# checked; the same code built for 64 bits runs its tests under Wine.
echo "== build-win32: configure and build"
cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build-win32 -j "$jobs"
# check_pe PROGRAM KIND: a 32-bit program of that subsystem (console, GUI) that needs only the
# DLLs every Windows has, so it runs from the zip without installing anything.
check_pe() {
    local program=$1 kind=$2 pe_type dll
    pe_type=$(file -b "$program")
    echo "$program: $pe_type"
    for wanted in "PE32 executable" "Intel 80386" "($kind)"; do
        if [[ "$pe_type" != *"$wanted"* ]]; then
            echo "$program is not a 32-bit $kind program ($wanted)" >&2
            exit 1
        fi
    done
    for dll in $(i686-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p'); do
        case "${dll^^}" in
        KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | COMDLG32.DLL | MSVCRT.DLL | \
            ADVAPI32.DLL | SHELL32.DLL | OLE32.DLL | WS2_32.DLL) ;;
        *)
            echo "$program needs $dll, which Windows does not have" >&2
            exit 1
            ;;
        esac
    done
    echo "$program imports: $(i686-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
}
check_pe build-win32/tovik-cli.exe console
check_pe build-win32/tovik.exe GUI
echo "== build-win32: the zip for Windows"
(cd build-win32 && cpack -G ZIP >/dev/null)
zip_file=build-win32/tovik-$(sed -n 's/^project(tovik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-win32.zip
zip_list=$(unzip -l "$zip_file")
echo "$zip_list"
for member in tovik.exe tovik-cli.exe README.txt; do
    grep -qF " $member" <<<"$zip_list" || { echo "$zip_file lacks $member" >&2; exit 1; }
done

# Wine keeps its installation in the build tree, made afresh with the build, so no run depends on
# a ~/.wine left by someone else.
export WINEPREFIX=$PWD/build-win64/wine-prefix
echo "== build-win64: configure and build"
cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build-win64 -j "$jobs"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== wine: making the prefix $WINEPREFIX"
    cmake/wine64-run.sh wineboot -i >/dev/null 2>&1
    # wineboot returns before the prefix is complete; a program started too soon may not load.
    /usr/lib/wine/wineserver -w
fi
echo "== build-win64: tests under Wine"
ctest --test-dir build-win64 --output-on-failure -j "$jobs" --timeout 300
echo "== tovik-cli.exe under Wine against tovik-sim"
tests/e2e/wine_load.sh build build-win64
echo "== tovik.exe under Wine and Xvfb, driven from the keyboard"
tests/e2e/wine_dialog.sh build build-win64
# Wine's server stays a few seconds after its last program; nothing is left running after us.
/usr/lib/wine/wineserver -w

echo "== all tests passed"
