#!/usr/bin/env bash
# Builds libdeflate for Windows with the MinGW-w64 cross compiler, from Debian's own source
# package of the very version the Linux build links, so that both builds compress alike.
#
#   tools/mingw-libdeflate.sh BUILD_DIR [TRIPLET]
#
# TRIPLET is x86_64-w64-mingw32 (the default) or i686-w64-mingw32. The result lands in
# BUILD_DIR/libdeflate/{include,lib}; a second call finds it there and does nothing.
#
# Debian has no MinGW package of libdeflate, and the machine's apt sources usually list binary
# packages only. A private apt configuration (its own lists and cache below BUILD_DIR) takes the
# machine's sources as they stand and adds "deb-src" to them, so the source package comes from the
# same archive as everything else; no archive is named here, and the system's own apt state is not
# touched.
set -euo pipefail

build_dir=$(realpath -m "${1:?usage: $0 BUILD_DIR [TRIPLET]}")
triplet=${2:-x86_64-w64-mingw32}
prefix="$build_dir/libdeflate"
if [ -f "$prefix/lib/libdeflate.a" ] && [ -f "$prefix/include/libdeflate.h" ]; then
  exit 0
fi

# The version the Linux build uses.
version=$(dpkg-query -W -f='${Version}' libdeflate-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "mingw-libdeflate: libdeflate-dev is not installed; install it first (tools/deps.sh)" >&2
  exit 1
fi

apt_root="$build_dir/apt"
mkdir -p "$apt_root/sources.list.d" "$apt_root/lists/partial" "$apt_root/cache/archives/partial" "$apt_root/src"
rm -f "$apt_root/sources.list.d/"*

# The machine's sources, each with deb-src beside deb. apt reads only *.list and *.sources files.
shopt -s nullglob
found=0
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  # One-line form: every "deb ..." line is kept and repeated as "deb-src ...".
  awk '/^[[:space:]]*deb[[:space:]]/ { print; sub(/deb/, "deb-src"); print }' "$f" \
    >"$apt_root/sources.list.d/$(basename "$f" .list)-$found.list"
  found=$((found + 1))
done
for f in /etc/apt/sources.list.d/*.sources; do
  # deb822 form: a stanza of binary packages also offers sources.
  sed -e 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$f" >"$apt_root/sources.list.d/$(basename "$f")"
  found=$((found + 1))
done
if [ "$found" -eq 0 ]; then
  echo "mingw-libdeflate: no apt sources found in /etc/apt to derive source packages from" >&2
  exit 1
fi

apt_opts=(
  -o "Dir::Etc::SourceList=/dev/null"
  -o "Dir::Etc::SourceParts=$apt_root/sources.list.d"
  -o "Dir::State::Lists=$apt_root/lists"
  -o "Dir::Cache=$apt_root/cache"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  -o "Debug::NoLocking=1"
  -o "APT::Sandbox::User=root"  # the files land in a folder of root's own
)
echo "== libdeflate $version for $triplet: fetching Debian's source package"
apt-get "${apt_opts[@]}" update -qq
(cd "$apt_root/src" && apt-get "${apt_opts[@]}" source --download-only -qq "libdeflate=$version")

dsc=$(ls "$apt_root/src"/libdeflate_*.dsc | head -n 1)
src="$apt_root/src/libdeflate-$version-src"
rm -rf "$src"
dpkg-source --no-check -x "$dsc" "$src" >/dev/null

echo "== libdeflate: building the static library with $triplet-gcc"
# Version 1.14 builds with its own Makefile, which names the static library for MinGW
# "libdeflatestatic.lib"; only that library is needed.
make -C "$src" -j"$(nproc 2>/dev/null || echo 2)" \
  CC="$triplet-gcc-posix" AR="$triplet-ar" CFLAGS="-O2" libdeflatestatic.lib >/dev/null
mkdir -p "$prefix/include" "$prefix/lib"
cp "$src/libdeflate.h" "$prefix/include/"
cp "$src/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
echo "== libdeflate: $prefix"
