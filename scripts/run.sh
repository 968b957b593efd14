#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it in its program folder:
# $WDRX_PROGRAM_FOLDER, or run/ of this clone (made with its docs/ folder when missing).
# Arguments go to the program (e.g. --production). Ctrl+C closes it as its close button would.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDRX_BUILD_TESTS=OFF -DWDRX_BUILD_BENCH=OFF
cmake --build build/release -j "${WDRX_JOBS:-$(nproc)}"
program="$PWD/build/release/Wendrix_P3D"
folder=${WDRX_PROGRAM_FOLDER:-$PWD/run}
mkdir -p "$folder/docs" "$folder/input"
cd "$folder"
exec "$program" "$@"
