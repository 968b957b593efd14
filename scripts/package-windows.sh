#!/usr/bin/env bash
# Makes the zip a user installs from: build/windows/Wendrix_P3D-<version>-win64.zip with
# Wendrix_P3D.exe (statically linked: it needs only Windows' own DLLs) and README.txt.
# Builds the program first (scripts/build-windows.sh Wendrix_P3D).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh Wendrix_P3D
exe=build/windows/Wendrix_P3D.exe
if [ ! -f "$exe" ]; then
  echo "package-windows.sh: $exe was not built (the program entry is missing)" >&2
  exit 1
fi
version=$(sed -n 's/^project(Wendrix_P3D VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/windows/package/Wendrix_P3D
rm -rf build/windows/package
mkdir -p "$stage"
cp "$exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/Wendrix_P3D.exe"
sed 's/$/\r/' README.md > "$stage/README.txt"
zip_file=$PWD/build/windows/Wendrix_P3D-$version-win64.zip
rm -f "$zip_file"
(cd build/windows/package && zip -qr "$zip_file" Wendrix_P3D)
echo "$zip_file"
