#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs them (WDRX_JOBS parallel jobs, default: all cores). Benchmarks are built too (so they keep compiling) but not run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=${WDRX_JOBS:-$(nproc)}
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWDRX_SANITIZE=ON -DWDRX_BUILD_TESTS=ON -DWDRX_BUILD_BENCH=ON \
  "${launcher[@]}"
cmake --build build/test -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build/test
ctest --output-on-failure -j "$jobs" "$@"
