#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a bounded time, a few at a time,
# starting from its seed corpus. Fails when a target does not build, crashes, leaks, runs out
# of memory or takes more than 1 s on one input; the input that did it is kept in
# build/fuzz/artifacts and the target's log in build/fuzz/logs. An input over 1 s is replayed
# alone once first: when it is fast then, the machine was busy, not the parser slow (it is kept
# in build/fuzz/artifacts/slow-under-load and the target fuzzes on for the rest of its time; a
# fourth such input of one target fails it all the same).
# Usage: scripts/fuzz.sh [target ...]   (default: every target)
# WDRX_FUZZ_SECONDS: time per target (default 20); WDRX_FUZZ_JOBS: targets at once (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed, the fuzz targets are not built"
  exit 0
fi
seconds=${WDRX_FUZZ_SECONDS:-20}
jobs=${WDRX_FUZZ_JOBS:-2}
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
build=$root/build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DWDRX_FUZZ=ON -DWDRX_BUILD_TESTS=OFF -DWDRX_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "${WDRX_JOBS:-$(nproc)}"

if (($#)); then targets=("$@"); else mapfile -t targets < "$build/fuzz_targets.txt"; fi
rm -rf "$build/logs" "$build/artifacts" "$build/corpus"
mkdir -p "$build/logs" "$build/artifacts" "$build/corpus"

run_target() {
  local name=$1
  local fuzzer=$build/tests/fuzz/fuzz_$name log=$build/logs/$name.log part=$build/logs/$name.part
  local deadline=$((SECONDS + seconds)) left=$seconds slowUnderLoad=0 units=0 rc artifact
  # New inputs go to a scratch corpus; the seeds in the repository are only read.
  mkdir -p "$build/corpus/$name"
  : > "$log"
  export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  while :; do
    rc=0
    "$fuzzer" -max_total_time="$left" -timeout=1 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
      "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" > "$part" 2>&1 || rc=$?
    cat "$part" >> "$log"
    units=$((units + $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$part" | grep -o '[0-9]*$' || echo 0)))
    left=$((deadline - SECONDS))
    if ((rc != 0)); then
      artifact=$(sed -n 's/.*Test unit written to \(.*-timeout-[0-9a-f]*\)$/\1/p' "$part" | tail -1)
      if ! grep -q 'ERROR: libFuzzer: timeout' "$part" || [[ ! -f $artifact ]] || ((slowUnderLoad == 3)) ||
        ! "$fuzzer" -timeout=1 "$artifact" >> "$log" 2>&1; then
        echo "fuzz $name: FAILED (log: build/fuzz/logs/$name.log)"
        grep -E "ERROR|runtime error|timeout|leak|out-of-memory|Test unit written" "$part" | head -8
        return 1
      fi
      slowUnderLoad=$((slowUnderLoad + 1))
      mkdir -p "$build/artifacts/slow-under-load"
      mv "$artifact" "$build/artifacts/slow-under-load/"
      echo "fuzz $name: an input took over 1 s, but not when replayed alone (a busy machine); fuzzing on"
      if ((left > 0)); then continue; fi
    fi
    echo "fuzz $name: ok, $units inputs"
    return 0
  done
}
export -f run_target
export build root seconds

failed=0
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_target "$1"' _ {} || failed=1
if ((failed)); then
  echo "fuzz: a target failed; reproduce with build/fuzz/tests/fuzz/fuzz_<name> build/fuzz/artifacts/<file>"
  exit 1
fi
echo "fuzz: every target ran ${seconds} s without a finding"
