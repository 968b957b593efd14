#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDRX_BUILD_TESTS=OFF -DWDRX_BUILD_BENCH=OFF
cmake --build build/release
if [ ! -x build/release/Wendrix_P3D ]; then
  echo "The libraries are built; the program entry (main window and run thread) is not part of this build yet."
  exit 0
fi
exec build/release/Wendrix_P3D "$@"
