#!/usr/bin/env bash
# Installs what the builds need on Debian 12 when it is missing.
#   scripts/deps.sh           the native builds (and clang with its runtime for the fuzz targets)
#   scripts/deps.sh windows   the Windows cross build and its tests under Wine
#   scripts/deps.sh all       both; without root or sudo every missing package is named at once
set -euo pipefail
here=$(dirname "$0")
native=(g++ cmake ninja-build pkg-config ccache libfmt-dev libpugixml-dev libsodium-dev
  libcurl4-openssl-dev libzip-dev nlohmann-json3-dev libmsgsl-dev libgtest-dev libgmock-dev
  libbenchmark-dev clang libclang-rt-14-dev libcairo2-dev)
windows=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev cmake ninja-build ccache
  pkg-config dpkg-dev autoconf automake libtool wine wine64 xvfb x11-apps imagemagick xauth zip)
case ${1:-native} in
  native) exec "$here/install-missing.sh" "${native[@]}" ;;
  windows) exec "$here/install-missing.sh" --no-install-recommends "${windows[@]}" ;;
  all)
    if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
      exec "$here/install-missing.sh" "${native[@]}" "${windows[@]}"  # names them and stops
    fi
    "$here/install-missing.sh" "${native[@]}"
    exec "$here/install-missing.sh" --no-install-recommends "${windows[@]}" ;;
  *) echo "usage: scripts/deps.sh [native|windows|all]" >&2; exit 2 ;;
esac
