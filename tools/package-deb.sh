#!/usr/bin/env bash
# Builds the Debian package dist/dravello_<version>_<arch>.deb: the program and its engine library
# in /usr/lib/dravello (the program finds ZIPENGINE.DLL beside itself), /usr/bin/dravello linking
# to it, a desktop entry and icon for the desktop's menu, a man page, and the Debian dependencies
# of the libraries both link (Qt among them).
#   tools/package-deb.sh [BUILD_DIR]                  build (Release, with Qt) into BUILD_DIR
#                                                     (default build-deb), then pack
#   tools/package-deb.sh --prebuilt BIN_DIR [OUT_DIR]  pack dravello and ZIPENGINE.DLL as built in
#                                                     BIN_DIR into OUT_DIR (default dist)
# Needs dpkg-deb; dpkg-shlibdeps (package dpkg-dev) gives the dependencies when it is there,
# otherwise they are read from the packages that hold the linked libraries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

out=dist
if [ "${1:-}" = --prebuilt ]; then
  bin=$(cd "${2:?the folder holding dravello and ZIPENGINE.DLL}" && pwd)
  out=${3:-dist}
else
  source tools/deps.sh
  dravello_install_deps
  build=${1:-build-deb}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRAVELLO_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target dravello zipengine_dll
  bin=$(cd "$build/bin" && pwd)
fi
for f in dravello ZIPENGINE.DLL; do
  [ -f "$bin/$f" ] || { echo "package-deb: $bin/$f is missing" >&2; exit 1; }
done

version=$(sed -n 's/^project(Dravello VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/pkg

install -d "$pkg/usr/lib/dravello" "$pkg/usr/bin" "$pkg/usr/share/applications" \
  "$pkg/usr/share/icons/hicolor/scalable/apps" "$pkg/usr/share/man/man1" "$pkg/usr/share/doc/dravello" "$pkg/DEBIAN"
install -m 755 "$bin/dravello" "$pkg/usr/lib/dravello/dravello"
install -m 644 "$bin/ZIPENGINE.DLL" "$pkg/usr/lib/dravello/ZIPENGINE.DLL"
strip --strip-unneeded "$pkg/usr/lib/dravello/dravello" "$pkg/usr/lib/dravello/ZIPENGINE.DLL"
# Relative, so that the package also works unpacked below another root.
ln -s ../lib/dravello/dravello "$pkg/usr/bin/dravello"
install -m 644 tools/linux/dravello.desktop "$pkg/usr/share/applications/dravello.desktop"
install -m 644 tools/linux/dravello.svg "$pkg/usr/share/icons/hicolor/scalable/apps/dravello.svg"
gzip -9n < tools/linux/dravello.1 > "$pkg/usr/share/man/man1/dravello.1.gz"
gzip -9n < README.md > "$pkg/usr/share/doc/dravello/README.md.gz"
chmod 644 "$pkg/usr/share/man/man1/dravello.1.gz" "$pkg/usr/share/doc/dravello/README.md.gz"

# The packages of the libraries the program and the engine link, with the versions they need.
binaries=("$pkg/usr/lib/dravello/dravello" "$pkg/usr/lib/dravello/ZIPENGINE.DLL")
depends=
if command -v dpkg-shlibdeps >/dev/null; then
  mkdir -p "$stage/debian"
  printf 'Source: dravello\n\nPackage: dravello\nArchitecture: any\n' > "$stage/debian/control"
  depends=$(cd "$stage" && dpkg-shlibdeps -O "${binaries[@]/#/-e}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
fi
if [ -z "$depends" ]; then
  for lib in $(ldd "${binaries[@]}" | awk '$2 == "=>" && $3 ~ /^\// {print $3}' | sort -u); do
    owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null || dpkg -S "$lib" 2>/dev/null) || continue
    name=${owner%%:*}
    upstream=$(dpkg-query -W -f='${Version}' "$name" | sed 's/^[0-9]*://; s/-[^-]*$//')
    depends+="${depends:+, }$name (>= $upstream)"
  done
fi
[ -n "$depends" ] || { echo "package-deb: the dependencies cannot be told" >&2; exit 1; }

cat > "$pkg/DEBIAN/control" <<CONTROL
Package: dravello
Version: $version
Architecture: $arch
Maintainer: Velmora <dravello@velmora.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$pkg" | cut -f1)
Depends: $depends
Section: utils
Priority: optional
Homepage: https://velmora.example/dravello/
Description: small desktop backup tool with named backup scripts
 Dravello keeps named backup scripts: source folders, file-name filters,
 a dated or fixed destination, and whether files are copied one by one
 into a mirrored tree or packed into one zip archive by its own zip
 engine. It runs from a small window or, for schedulers, with a script
 name on the command line, and logs every run.
CONTROL

mkdir -p "$out"
deb="$out/dravello_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "$deb"
