#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix (the cross build's CMake emulator).
# WINEPREFIX defaults to build/windows/wine; scripts/test-windows.sh prepares it.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/windows/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine maps file names and arguments through the locale's character set: without a UTF-8 one
# (a fresh system may have no LANG) letters beyond ASCII are lost.
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LC_ALL=C.UTF-8
# Now and then under load (about one launch in two thousand) the Wine loader ends with status 1
# within milliseconds, before the program has started: only such a launch is made once more, so
# that a test that ran and failed is never run again.
start=${EPOCHREALTIME/./}
wine "$@" && exit 0
status=$?
if [ "$status" -eq 1 ] && ((${EPOCHREALTIME/./} - start < 50000)); then exec wine "$@"; fi
exit "$status"
