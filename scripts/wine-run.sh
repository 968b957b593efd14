#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix (the cross build's CMake emulator).
# WINEPREFIX defaults to build/windows/wine; scripts/test-windows.sh prepares it.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/windows/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Now and then under load (about one launch in two thousand) the Wine loader ends with status 1
# within milliseconds, before the program has started: only such a launch is made once more, so
# that a test that ran and failed is never run again.
start=${EPOCHREALTIME/./}
wine "$@" && exit 0
status=$?
if [ "$status" -eq 1 ] && ((${EPOCHREALTIME/./} - start < 50000)); then exec wine "$@"; fi
exit "$status"
