#!/usr/bin/env bash
# Installs what the build needs on Debian 12 when it is missing (clang and its runtime for the
# fuzz targets).
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libfmt-dev libpugixml-dev libsodium-dev
  libcurl4-openssl-dev libzip-dev nlohmann-json3-dev libmsgsl-dev libgtest-dev libgmock-dev
  libbenchmark-dev clang libclang-rt-14-dev libcairo2-dev)
"$(dirname "$0")/install-missing.sh" "${packages[@]}"
