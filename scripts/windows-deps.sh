#!/usr/bin/env bash
# Builds the libraries of the Windows program once, from Debian's own source packages, with the
# mingw-w64 cross compiler, into a cache that later runs (and later clones) reuse. Prints the
# install prefix on its last line. The cache lies outside the work tree:
#   $WDRX_WIN_DEPS_CACHE (default ${XDG_CACHE_HOME:-~/.cache}/wendrix-p3d/windows-deps)/<key>
# where the key changes with the pinned versions, this script and the toolchain file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The source packages and the versions built (Debian 12). A pinned version the archive no longer
# serves (a point release replaced it) falls back to the archive's current one, with a warning.
pins=(
  libsodium=1.0.18-1+deb12u1
  pugixml=1.13-0.2
  libzip=1.7.3-1
  curl=7.88.1-10+deb12u15
  fmtlib=9.1.0+ds1-2
  ms-gsl=4.0.0-2+deb12u1
  nlohmann-json3=3.11.2-2
  googletest=1.12.1-0.2
)

triple=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${WDRX_JOBS:-$(nproc)}
key=$( { printf '%s\n' "${pins[@]}"; cat "$0" "$toolchain"; $triple-g++-posix --version | head -1; } |
  sha256sum | cut -c1-16)
cache=${WDRX_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/wendrix-p3d/windows-deps}
prefix=$cache/$key
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

log() { echo "windows-deps: $*" >&2; }

# Source lists: apt-get source needs deb-src entries next to the binary ones.
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! grep -rqs -E '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  log "enabling Debian's source lists"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -q 'debian' "$f" || continue
    sed 's/^Types: deb$/Types: deb-src/' "$f" | $sudo tee "/etc/apt/sources.list.d/wdrx-src-$(basename "$f")" >/dev/null
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb .*debian' /etc/apt/sources.list; then
    grep '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      $sudo tee /etc/apt/sources.list.d/wdrx-src.list >/dev/null
  fi
  $sudo apt-get update -qq
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/wdrx-windeps.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/prefix
mkdir -p "$work/src" "$stage"

# Fetches and unpacks (Debian patches applied) one source package; prints its folder.
fetch() {
  local pin=$1 name=${1%%=*}
  (cd "$work/src" && { apt-get source -qq "$pin" >/dev/null 2>&1 || {
    log "WARNING: $pin is no longer served; building the archive's current $name"
    apt-get source -qq "$name" >/dev/null; }; })
  local dirs=("$work/src/$name"-[0-9]*/)
  echo "${dirs[0]%/}"
}

cmake_dep() {
  local src=$1; shift
  cmake -S "$src" -B "$src/_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF "$@" >"$src/_build.log" 2>&1 ||
    { tail -30 "$src/_build.log" >&2; return 1; }
  cmake --build "$src/_build" -j "$jobs" >>"$src/_build.log" 2>&1 ||
    { tail -30 "$src/_build.log" >&2; return 1; }
  cmake --install "$src/_build" >>"$src/_build.log" 2>&1
}

export WDRX_WIN_DEPS_PREFIX=$stage
for pin in "${pins[@]}"; do
  name=${pin%%=*}
  log "building $pin"
  src=$(fetch "$pin")
  case $name in
    libsodium)
      (cd "$src" && autoreconf -fi >"$src/_build.log" 2>&1 && ./configure --host=$triple CC=$triple-gcc-posix --prefix="$stage" \
         --disable-shared --enable-static --disable-dependency-tracking >>"$src/_build.log" 2>&1 &&
       make -j "$jobs" >>"$src/_build.log" 2>&1 && make install >>"$src/_build.log" 2>&1) ||
        { tail -30 "$src/_build.log" >&2; exit 1; }
      ;;
    pugixml) cmake_dep "$src" -DPUGIXML_BUILD_TESTS=OFF ;;
    libzip)
      cmake_dep "$src" -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
        -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
        -DENABLE_ZSTD=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
      ;;
    curl)
      cmake_dep "$src" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DBUILD_CURL_EXE=OFF \
        -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF \
        -DCURL_USE_LIBPSL=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
        -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON -DCURL_ZLIB=ON
      ;;
    fmtlib) cmake_dep "$src" -DFMT_TEST=OFF -DFMT_DOC=OFF ;;
    ms-gsl) cmake_dep "$src" -DGSL_TEST=OFF ;;
    nlohmann-json3) cmake_dep "$src" -DJSON_BuildTests=OFF -DJSON_Install=ON ;;
    googletest) cmake_dep "$src" -DBUILD_GMOCK=ON -Dgtest_force_shared_crt=ON ;;
  esac
done

printf '%s\n' "${pins[@]}" > "$stage/VERSIONS.txt"
mkdir -p "$cache"
rm -rf "$prefix"
cp -a "$stage" "$prefix.tmp.$$"
# The install scripts recorded the staging folder; point them at the cache.
grep -rlF "$stage" "$prefix.tmp.$$" 2>/dev/null | while read -r f; do
  sed -i "s|$stage|$prefix|g" "$f"
done
mv "$prefix.tmp.$$" "$prefix"
touch "$prefix/.complete"
log "done: $prefix"
echo "$prefix"
