#!/bin/sh
# Runs a program of the 64-bit Windows build under Wine, for ctest and the scripts. Wine's own
# diagnostics would drown the test output, so they are off unless WINEDEBUG asks for them.
# WINEPREFIX, when set, chooses the Wine installation (scripts/test.sh keeps one in build-win64/).
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG
exec "${TOVIK_WINE64:-/usr/lib/wine/wine64}" "$@"
