# The test peers beside the program, for scripts/run.sh and scripts/demo.sh (sourced: bash).
# Each peer runs in a session of its own, so that Ctrl+C in the terminal reaches only the
# script, which closes the program first and then its peers.

# A port on 127.0.0.1 that nothing listens on (TCP or UDP), as far as ss can tell.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$(( 20000 + RANDOM % 40000 ))
    if ! command -v ss >/dev/null || ! ss -Htuln "sport = :$port" | grep -q .; then
      echo "$port"
      return
    fi
  done
  echo "no free port found" >&2
  exit 1
}

# start_fakesim BIN RECORD [OPTIONS...]: the fake simulator on a free port, with the user
# aircraft standing at Amsterdam Schiphol unless OPTIONS place it. What it receives goes to
# RECORD; with WDRX_FAKESIM_QUIET=1 the positions of every frame are left out (an hour of them
# is hundreds of megabytes). Sets fakesim_pid and simulator_port.
start_fakesim() {
  local bin=$1 record=$2
  shift 2
  local filter=cat
  [ "${WDRX_FAKESIM_QUIET:-0}" = 1 ] && filter="grep --line-buffered -v '^SetDataOnSimObject .* define=402 '"
  : > "$record"
  setsid sh -c '"$@" | '"$filter"' > "$0"' "$record" "$bin/tools/fakesim/fakesim" --port 0 \
    --position 52.3083,4.7639,-11,0 --on-ground "$@" 2>&1 &
  fakesim_pid=$!
  for _ in $(seq 300); do [ -s "$record" ] && break; sleep 0.1; done
  simulator_port=$(head -1 "$record")
  if [ -z "$simulator_port" ]; then
    echo "The fake simulator did not start (see $record)" >&2
    exit 1
  fi
}

# end_peer PID [SECONDS]: waits that long for a peer to end by itself, then ends its session.
end_peer() {
  local pid=$1
  for _ in $(seq $(( ${2:-0} * 10 ))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
