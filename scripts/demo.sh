#!/usr/bin/env bash
# A minute of the program beside the fake simulator and faketraffic, in a fresh temporary folder:
# three airliners reported near Amsterdam Schiphol (tools/faketraffic/scenarios/eham_range_edge.txt)
# are created as AI objects, moved every frame and removed when their reports end. Prints what
# the fake simulator received (objects created, positions per object, removals) and where the
# program's Log.txt and a picture of its main window taken while the aircraft flew are.
# WDRX_DEMO_SECONDS changes the minute.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDRX_BUILD_TESTS=OFF -DWDRX_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target Wendrix_P3D fakesim_main faketraffic_program wdrx-encrypt
bin=$root/build/release
work=$(mktemp -d "${TMPDIR:-/tmp}/wdrx-demo.XXXXXX")
export WDRX_DATA_DIR=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work HOME=$work/home
export WDRX_ENCRYPT=$bin/tools/encrypt/wdrx-encrypt
mkdir -p "$HOME"

source scripts/peers.sh
pids=()
cleanup() { for pid in "${pids[@]}"; do end_peer "$pid"; done; }
trap cleanup EXIT

start_fakesim "$bin" "$work/fakesim.txt"
pids+=("$fakesim_pid")
psx_port=$(free_port)
traffic_port=$(free_port)
qnh_port=$(free_port)
tools/demo/setup.sh "$work/program" "$simulator_port" "$psx_port"

echo "Wendrix_P3D runs in $work/program for ${WDRX_DEMO_SECONDS:-60} s ..."
( cd "$work/program" &&
  WDRX_TRAFFIC_PORT=$traffic_port WDRX_QNH_PORT=$qnh_port WDRX_WINDOW_PNG=$work/main_window.png \
  WDRX_DOWNLOAD_BASE=http://127.0.0.1:1/downloads/ exec "$bin/Wendrix_P3D" ) > "$work/program.txt" 2>&1 &
program=$!
pids+=($program)
"$bin/tools/faketraffic/faketraffic" --traffic-port "$traffic_port" --qnh-port "$qnh_port" \
  --psx-port "$psx_port" --scenario tools/faketraffic/scenarios/eham_range_edge.txt > "$work/faketraffic.txt" 2>&1 &
pids+=($!)
# The window's picture (refreshed every 2 s) is kept while aircraft are live: from 4 s after
# the first creation (time to show them) until the last removal.
end=$((SECONDS + ${WDRX_DEMO_SECONDS:-60}))
live_since=""
while ((SECONDS < end)); do
  sleep 0.5
  live=$(awk '/^AICreateNonATCAircraft /{c++} /^AIRemoveObject /{r++} END{print c-r}' "$work/fakesim.txt")
  if ((live > 0)); then
    live_since=${live_since:-$SECONDS}
    if ((SECONDS - live_since >= 4)) && [ -f "$work/main_window.png" ]; then
      cp "$work/main_window.png" "$work/main_window_live.png"
    fi
  fi
done
kill -TERM "$program"  # the window's close button
status=0
wait "$program" || status=$?

echo
echo "The fake simulator received:"
awk '
  /^AICreateNonATCAircraft / {
    match($0, /title=\047[^\047]*\047/); title = substr($0, RSTART + 7, RLENGTH - 8)
    match($0, /tail=\047[^\047]*\047/); tail = substr($0, RSTART + 6, RLENGTH - 7)
    created[++n] = title " (" tail ")"
  }
  /^SetDataOnSimObject .* define=402 / { match($0, /object=[0-9]+/); positions[substr($0, RSTART + 7, RLENGTH - 7)]++ }
  /^AIRemoveObject / { match($0, /object=[0-9]+/); removed[substr($0, RSTART + 7, RLENGTH - 7)] = 1 }
  END {
    printf "  objects created: %d\n", n
    for (i = 1; i <= n; i++) printf "    %s\n", created[i]
    printf "  positions received per object:\n"
    for (o in positions) printf "    object %s: %d%s\n", o, positions[o], (o in removed) ? ", then removed" : ""
    r = 0; for (o in removed) r++
    printf "  removals: %d\n", r
  }' "$work/fakesim.txt"
echo
echo "Program exit code: $status; its log: $work/program/Log.txt"
if [ -f "$work/main_window_live.png" ]; then
  echo "The main window while the aircraft flew: $work/main_window_live.png"
fi
