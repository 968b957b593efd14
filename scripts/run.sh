#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and runs it in its program folder,
# $WDRX_PROGRAM_FOLDER or run/ of this clone, until Ctrl+C closes it as its close button would.
# Arguments go to the program (e.g. --production).
#
# With a SimConnect.cfg in the program folder the program runs there against that simulator
# and the traffic service on the network. Without one it runs the demo in <folder>/demo: the
# fake simulator with the user aircraft at Amsterdam Schiphol, and faketraffic replaying an
# hour of traffic that trafficgen makes (arrivals, departures, overflights), with the demo's
# data files, liveries and settings (tools/demo/setup.sh); the peers end with the program.
#
# The program's terminal lines (status, errors, state every 5 s) come on standard error; its
# window's picture is kept in $WDRX_WINDOW_PNG (default: main_window.png beside the program
# folder), refreshed every 2 s. WDRX_RUN_SECONDS closes it after that many seconds;
# WDRX_BINARY_FOLDER takes the programs of that build folder without installing or building.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/peers.sh
if [ -n "${WDRX_BINARY_FOLDER:-}" ]; then
  bin=$(cd "$WDRX_BINARY_FOLDER" && pwd)
else
  scripts/deps.sh
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDRX_BUILD_TESTS=OFF -DWDRX_BUILD_BENCH=OFF
  cmake --build build/release -j "${WDRX_JOBS:-$(nproc)}"
  bin=$root/build/release
fi
folder=${WDRX_PROGRAM_FOLDER:-$root/run}
# Whatever ends this script ends what it started.
cleanup() {
  if [ -n "${program:-}" ]; then kill -TERM "$program" 2>/dev/null || true; fi
  if [ -n "${faketraffic_pid:-}" ]; then end_peer "$faketraffic_pid"; fi
  if [ -n "${fakesim_pid:-}" ]; then end_peer "$fakesim_pid"; fi
}
trap cleanup EXIT
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

if [ -f "$folder/SimConnect.cfg" ]; then
  program_folder=$folder
  export WDRX_WINDOW_PNG=${WDRX_WINDOW_PNG:-$folder/main_window.png}
  mkdir -p "$folder/docs" "$folder/input"
  echo "Wendrix_P3D runs in $folder with the simulator of its SimConnect.cfg."
else
  demo=$folder/demo
  program_folder=$demo/program
  export WDRX_DATA_DIR=$demo/data XDG_CONFIG_HOME=$demo/config HOME=$demo/home
  export WDRX_ENCRYPT=$bin/tools/encrypt/wdrx-encrypt WDRX_WINDOW_PNG=${WDRX_WINDOW_PNG:-$demo/main_window.png}
  mkdir -p "$HOME"
  WDRX_FAKESIM_QUIET=1 start_fakesim "$bin" "$demo/fakesim.txt"
  psx_port=$(free_port)
  export WDRX_TRAFFIC_PORT=$(free_port) WDRX_QNH_PORT=$(free_port)
  tools/demo/setup.sh "$program_folder" "$simulator_port" "$psx_port"
  mkdir -p "$program_folder/airports/my_thirdparty"
  "$bin/tools/trafficgen/trafficgen" --airport-file "$program_folder/airports/my_thirdparty/EHAM.xml" \
    > "$demo/scenario.txt"
  echo "Wendrix_P3D runs the demo in $program_folder: the fake simulator with the user aircraft"
  echo "at Amsterdam Schiphol, and an hour of replayed traffic ($(head -1 "$demo/scenario.txt" | cut -c3-))."
  echo "What the simulator receives: $demo/fakesim.txt"
fi
echo "Its log: $program_folder/Log.txt"
echo "Its window: $WDRX_WINDOW_PNG (refreshed every 2 s)"
echo "Ctrl+C closes it."

cd "$program_folder"
setsid "$bin/Wendrix_P3D" "$@" &
program=$!
trap 'kill -TERM "$program" 2>/dev/null || true' INT TERM
if [ -n "${demo:-}" ]; then
  setsid "$bin/tools/faketraffic/faketraffic" --traffic-port "$WDRX_TRAFFIC_PORT" --qnh-port "$WDRX_QNH_PORT" \
    --psx-port "$psx_port" --scenario "$demo/scenario.txt" > "$demo/faketraffic.txt" 2>&1 &
  faketraffic_pid=$!
fi
timer=""
if [ -n "${WDRX_RUN_SECONDS:-}" ]; then
  sleep "$WDRX_RUN_SECONDS" &
  timer=$!
fi

status=""
while [ -z "$status" ]; do
  ended="" code=0
  wait -n -p ended "$program" $timer || code=$?
  if [ "${ended:-}" = "$program" ]; then
    status=$code
  elif [ -n "${ended:-}" ]; then  # the time is up
    kill -TERM "$program" 2>/dev/null || true
    timer=""
  fi  # else a signal to this script interrupted the wait: the trap asked the program to close
done
program=""
if [ -n "$timer" ]; then kill "$timer" 2>/dev/null || true; fi
# faketraffic ends by itself when the program tells it "exit"; cleanup ends the fake simulator.
if [ -n "${faketraffic_pid:-}" ]; then
  echo "Closing the fake simulator and faketraffic ..."
  end_peer "$faketraffic_pid" 10
fi
echo "Wendrix_P3D has ended (exit code $status); its log: $program_folder/Log.txt"
if [ "$status" = 255 ]; then echo "(255: another Wendrix_P3D runs already on this computer; one runs at a time)"; fi
exit "$status"
