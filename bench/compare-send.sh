#!/usr/bin/env bash
# The caller's cost per SetDataOnSimObject, ours beside the independent node-simconnect client:
# builds bench_simconnect_send and fakesim (Release, build/rel), installs the pinned
# node-simconnect (bench/node_simconnect), starts fakesim on a free loopback port for the Node
# side (ours runs its own fakesim in-process) and runs both in turn, the first of each round
# alternating, for WDRX_ROUNDS rounds (6); prints each round's per-call medians and their ratio.
# WDRX_NODE_FRAMES sets the Node side's frames (1000). Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${WDRX_ROUNDS:-6}
frames=${WDRX_NODE_FRAMES:-1000}

scripts/deps.sh
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then scripts/install-missing.sh nodejs npm; fi
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDRX_BUILD_TESTS=OFF -DWDRX_BUILD_BENCH=ON \
  "${launcher[@]}" >/dev/null
cmake --build build/rel --target bench_simconnect_send fakesim_main
(cd bench/node_simconnect && npm ci --no-audit --no-fund --silent)

work=$(mktemp -d "${TMPDIR:-/tmp}/wdrx-compare-send.XXXXXX")
fakesim_pid=""
cleanup() {
  if [ -n "$fakesim_pid" ]; then kill -TERM "$fakesim_pid" 2>/dev/null || true; wait "$fakesim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# fakesim prints its port, then a line per packet: only the port is kept.
build/rel/tools/fakesim/fakesim --port 0 --frame-ms 0 2>"$work/fakesim.err" \
  > >(read -r port; echo "$port" > "$work/port"; cat > /dev/null) &
fakesim_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port" 2>/dev/null || true)
if ! [[ $port =~ ^[0-9]+$ ]]; then
  echo "fakesim did not start: $(cat "$work/fakesim.err")" >&2
  exit 1
fi

# call_ns, call_ns_p90 and frames of the C++ benchmark's JSON.
ours() {
  build/rel/bench/bench_simconnect_send --benchmark_filter=BM_FramePositionWrites --benchmark_format=json 2>/dev/null |
    node -e 'let s = ""; process.stdin.on("data", (d) => (s += d)).on("end", () => {
      const b = JSON.parse(s).benchmarks[0];
      if (b.error_occurred) { console.error(b.error_message); process.exit(1); }
      console.log(b.call_ns.toFixed(1), b.call_ns_p90.toFixed(1), b.iterations - 1);
    });'
}
# The same of the Node script's line.
theirs() {
  node bench/node_simconnect/send.mjs --port "$port" --frames "$frames" |
    sed -E 's/.*frames=([0-9]+) call_ns=([0-9.]+) call_ns_p90=([0-9.]+).*/\2 \3 \1/'
}

echo "per-call wall time, median over frames (p90), ns; 500 position writes a frame"
ratios=()
for round in $(seq "$rounds"); do
  if ((round % 2)); then a=$(ours); b=$(theirs); else b=$(theirs); a=$(ours); fi
  read -r a_med a_p90 a_frames <<< "$a"
  read -r b_med b_p90 b_frames <<< "$b"
  ratio=$(awk -v a="$a_med" -v b="$b_med" 'BEGIN { printf "%.1f", b / a }')
  ratios+=("$ratio")
  printf 'round %d: wdrx %8.1f (p90 %8.1f, %4d frames)   node-simconnect %8.1f (p90 %8.1f, %4d frames)   ratio %5.1fx\n' \
    "$round" "$a_med" "$a_p90" "$a_frames" "$b_med" "$b_p90" "$b_frames" "$ratio"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { printf "ratio: lowest %.1fx, highest %.1fx\n", r[1], r[NR] }'
