#!/usr/bin/env bash
# Installs what the build needs on Debian 12 when it is missing (clang and its runtime for the
# fuzz targets).
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libfmt-dev libpugixml-dev libsodium-dev
  libcurl4-openssl-dev libzip-dev nlohmann-json3-dev libmsgsl-dev libgtest-dev libgmock-dev
  libbenchmark-dev clang libclang-rt-14-dev libcairo2-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
