#!/usr/bin/env bash
# Builds the Windows program and its tests (scripts/build-windows.sh) and runs them under Wine:
# the unit tests through ctest with Wine as the emulator (less tests/windows_skips.txt), and
# the platform tests against a prefix prepared here (registry values added with wine reg add,
# the simulator's named pipe served by fakesim.exe). Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
root=$PWD
build=$root/build/windows
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Non-ASCII file names and registry values need a UTF-8 locale under Wine (see wine-run.sh).
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LC_ALL=C.UTF-8
wine_start=$(date +%s)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
fi
# A display for the windows (Xvfb), on the first number from 90 on where one starts: a number
# may be served from outside this root (another container on the same network) where no lock
# or socket file here shows it, and Xvfb then fails on it. -displayfd tells when it is ready.
xvfb_log=$build/xvfb.log
xvfb_pid=""
trap 'wineserver -k >/dev/null 2>&1 || true; [ -z "$xvfb_pid" ] || kill $xvfb_pid 2>/dev/null || true' EXIT
ready=$(mktemp -u)
for display in $(seq 90 109); do
  [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ] && continue
  mkfifo "$ready"
  Xvfb :$display -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" >"$xvfb_log" 2>&1 &
  xvfb_pid=$!
  exec 4<"$ready"
  rm -f "$ready"
  # The number once it listens; nothing (end of file) when it gave up.
  answer=""
  read -r -t 30 -u 4 answer || true
  exec 4<&-
  if [ "$answer" = "$display" ] && xwd -root -silent -display :$display -out /dev/null 2>>"$xvfb_log"; then
    break
  fi
  kill $xvfb_pid 2>/dev/null || true
  wait $xvfb_pid 2>/dev/null || true
  xvfb_pid=""
done
if [ -z "$xvfb_pid" ]; then
  echo "No X display for the window tests: Xvfb started on none of :90 to :109 (the last try's output: build/windows/xvfb.log)"
  exit 1
fi
export DISPLAY=:$display
# One server for the whole run, so that each test starts in milliseconds (after the one that
# preparing the prefix left, which ends by itself).
wineserver -w || true
wineserver -p 900 || true

# Registry values the Wine test reads back (removed again before the unit tests, which keep
# their own registry per process).
reg() { wine reg "$@" >/dev/null 2>&1 || echo "wine reg $1 $2 failed"; }
p3d='HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v6'
user='HKEY_CURRENT_USER\SOFTWARE\Lockheed Martin\Prepar3D v5'
reg add "$p3d" /v SetupPath /t REG_SZ /d 'C:\Program Files\Lockheed Martin\Prepar3D v6 é\' /f /reg:64
reg add "$user" /v SimConnect_Port_IPv4 /t REG_SZ /d 500 /f
reg add "$user" /v SimConnect_Port_IPv6 /t REG_SZ /d 1234567890 /f
reg add "$user" /v Number /t REG_DWORD /d 5 /f
echo "Wine prefix ready in $(( $(date +%s) - wine_start )) s"

status=0
# A static runtime: the programs load only Windows' own DLLs.
for exe in "$build/Wendrix_P3D.exe" "$build/tools/fakesim/fakesim.exe"; do
  [ -f "$exe" ] || continue
  foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE '^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|ws2_32|winmm|crypt32|bcrypt|secur32|msvcrt|ntdll|iphlpapi|normaliz|wldap32|uuid)\.dll$' || true)
  if [ -n "$foreign" ]; then
    echo "$(basename "$exe") needs DLLs that Windows does not have: $foreign"
    status=1
  fi
done
export WDRX_FAKESIM_EXE
WDRX_FAKESIM_EXE=$(winepath -w "$build/tools/fakesim/fakesim.exe")
# The Linux fakesim of the native build (when scripts/test.sh built it) serves the Windows
# client's TCP transport across the two systems on loopback.
linux_fakesim=$root/build/test/tools/fakesim/fakesim
fakesim_pid=""
if [ -x "$linux_fakesim" ]; then
  "$linux_fakesim" --port 0 > "$build/linux-fakesim.txt" 2>&1 &
  fakesim_pid=$!
  for _ in $(seq 100); do [ -s "$build/linux-fakesim.txt" ] && break; sleep 0.1; done
  export WDRX_LINUX_FAKESIM_PORT
  WDRX_LINUX_FAKESIM_PORT=$(head -1 "$build/linux-fakesim.txt")
fi
WDRX_WINE_REGISTRY=prepared scripts/wine-run.sh "$build/tests/platform/test_win32_platform.exe" || status=1
if [ -n "$fakesim_pid" ]; then
  kill "$fakesim_pid" 2>/dev/null || true
  wait "$fakesim_pid" 2>/dev/null || true
fi
unset WDRX_LINUX_FAKESIM_PORT
reg delete 'HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin' /f /reg:64
reg delete 'HKEY_CURRENT_USER\SOFTWARE\Lockheed Martin' /f

skips=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' tests/windows_skips.txt | paste -sd'|')
echo "Left out under Wine (tests/windows_skips.txt), with the reasons:"
grep -v '^#' tests/windows_skips.txt | sed -e '/^[[:space:]]*$/d' -e 's/^\([^ ]*\)[[:space:]]*#[[:space:]]*/  \1: /'
# The end-to-end test keeps its picture of the main window here (a CI artifact).
screenshot=$build/Wendrix_P3D_window.png
rm -f "$screenshot"
export WDRX_SCREENSHOT
WDRX_SCREENSHOT=$(winepath -w "$screenshot")
(cd "$build" && ctest --output-on-failure -j "${WDRX_JOBS:-$(nproc)}" --timeout 180 -E "$skips" "$@") || status=1

# The picture itself, read back with ImageMagick: the bands and both lamps at known points.
if [ -f "$build/Wendrix_P3D.exe" ] && [ -z "$*" ]; then
  check() {  # x y colour what
    local got
    got=$(convert "$screenshot" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null)
    if [ "$got" != "$3" ]; then
      echo "Wendrix_P3D_window.png: $4 at $1,$2 is '$got', not '$3'"
      status=1
    fi
  }
  if [ ! -f "$screenshot" ]; then
    echo "Wendrix_P3D_window.png: no picture of the main window"
    status=1
  else
    check 300 2 "srgb(0,0,0)" "top band"
    check 300 28 "srgb(255,255,255)" "line under the top band"
    check 300 112 "srgb(153,204,255)" "options band"
    check 410 100 "srgb(50,205,50)" "simulator lamp"
    check 440 100 "srgb(50,205,50)" "RealTraffic lamp"
    echo "Wendrix_P3D_window.png checked: $(identify -format '%wx%h' "$screenshot")"
  fi
fi
exit $status
