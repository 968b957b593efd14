#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a bounded time, a few at a time,
# starting from its seed corpus. Fails when a target does not build, crashes, leaks, runs out
# of memory or takes more than 1 s on one input; the input that did it is kept in
# build/fuzz/artifacts and the target's log in build/fuzz/logs.
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
  # New inputs go to a scratch corpus; the seeds in the repository are only read.
  mkdir -p "$build/corpus/$name"
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" > "$build/logs/$name.log" 2>&1; then
    echo "fuzz $name: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/logs/$name.log" | grep -o '[0-9]*$') inputs"
  else
    echo "fuzz $name: FAILED (log: build/fuzz/logs/$name.log)"
    grep -E "ERROR|runtime error|timeout|leak|out-of-memory|Test unit written" "$build/logs/$name.log" | head -8
    return 1
  fi
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
