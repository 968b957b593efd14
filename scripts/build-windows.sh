#!/usr/bin/env bash
# Cross-builds the Windows program on Debian 12: installs the mingw-w64 compiler (and Wine for the
# tests) when missing, builds the libraries once into their cache (scripts/windows-deps.sh) and
# builds Wendrix_P3D.exe, the test executables and fakesim.exe in build/windows (Release).
# Arguments name the targets to build (default: all). WDRX_WINDOWS_TESTS=OFF leaves the unit
# tests out of the build folder's configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows

prefix=$(scripts/windows-deps.sh | tail -1)
export WDRX_WIN_DEPS_PREFIX=$prefix
jobs=${WDRX_JOBS:-$(nproc)}
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DWDRX_BUILD_TESTS="${WDRX_WINDOWS_TESTS:-ON}" -DWDRX_BUILD_BENCH=OFF \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-run.sh" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "${launcher[@]}"
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build build/windows -j "$jobs" "${targets[@]}"
