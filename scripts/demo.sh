#!/usr/bin/env bash
# Shows Tovik at work without hardware: installs what is missing, builds, and loads the example
# firmware into the virtual device built into tovik-cli, with the progress display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

echo "== loading examples/demo.s19 into the virtual device"
build/tovik-cli --simulate --baud 115200 examples/demo.s19
