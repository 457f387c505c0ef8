#!/usr/bin/env bash
# Builds the 64-bit Windows program and packs dist/dravello-<version>-win64.zip with dravello.exe
# (the windowed program: its windows, icon and version information inside), ZIPENGINE.DLL and
# README.txt for Windows users.
#   tools/package-windows.sh [BUILD_DIR]      (default build-win64)
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
dravello_install_packages "${dravello_packages[@]}" "${dravello_windows_packages[@]}"

build=${1:-build-win64}
tools/mingw-libdeflate.sh "$build" x86_64-w64-mingw32
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target dravello zipengine_dll

version=$(sed -n 's/^project(Dravello VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="dravello-$version-win64"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name" dist
cp "$build/bin/dravello.exe" "$build/bin/ZIPENGINE.DLL" "$stage/$name/"
x86_64-w64-mingw32-strip "$stage/$name/dravello.exe" "$stage/$name/ZIPENGINE.DLL"
# README.txt with Windows line ends, so that Notepad on any Windows shows it right.
sed 's/$/\r/' tools/windows/README.txt > "$stage/$name/README.txt"
# Only what the user needs must be in there; the import check keeps it that way. The program must
# be the windowed one (subsystem 2), or a double click would open a console window beside it.
headers=$(x86_64-w64-mingw32-objdump -p "$stage/$name/dravello.exe")
grep -q "^Subsystem[[:space:]]*00000002" <<<"$headers" || { echo "dravello.exe is not a windowed program" >&2; exit 1; }
bash tests/app/windows_imports_test.sh x86_64-w64-mingw32-objdump "$stage/$name/dravello.exe" "$stage/$name/ZIPENGINE.DLL" >/dev/null
rm -f "dist/$name.zip"
(cd "$stage" && zip -q -X -r "$OLDPWD/dist/$name.zip" "$name")
unzip -tq "dist/$name.zip"
echo "dist/$name.zip"
