#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix (the cross build's CMake emulator).
# WINEPREFIX defaults to build/windows/wine; scripts/test-windows.sh prepares it.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/windows/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
