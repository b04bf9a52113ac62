#!/usr/bin/env bash
# Screenshots of the Windows dialog tovik.exe under Wine on a virtual X server: idle, searching
# (the animation playing) and programming, taken while the keyboard-driven test runs. Saved as
# build-win64/screenshot-win32-idle.png, -searching.png and -programming.png.
# Needs build/ (tovik-sim) and build-win64/ (tovik.exe); scripts/test.sh makes both.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh imagemagick >/dev/null
SCREENSHOTS=$PWD/build-win64 tests/e2e/wine_dialog.sh build build-win64
ls build-win64/screenshot-win32-*.png
