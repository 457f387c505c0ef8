#!/usr/bin/env bash
# Builds the benchmark corpus: a mixed set of Debian system files (C and C++ headers, package
# documentation with its .gz files, manual pages, a few shared libraries), about 400 MB in about
# 30,000 files. The selection is made from sorted file lists with fixed size caps, so two Debian
# 12 machines with the same packages get the same corpus. SOURCES.txt beside the corpus records
# the packages (with versions) the files came from, and a checksum of the whole file list.
#   make_corpus.sh DEST      (DEST/corpus is replaced)
set -euo pipefail
dest=${1:?usage: make_corpus.sh DEST}
corpus="$dest/corpus"
rm -rf "$corpus"
mkdir -p "$corpus"
export LC_ALL=C

# source folder, name in the corpus, byte cap
parts=(
  "/usr/include include 150000000"
  "/usr/share/doc doc 110000000"
  "/usr/share/man man 45000000"
)
libs=(libpython3.11.so.1.0 libQt6Widgets.so.6 libQt6Gui.so.6 libgtk-3.so.0 libstdc++.so.6 libcrypto.so.3
      libsqlite3.so.0 libxml2.so.2 libicuuc.so.72 libglib-2.0.so.0 libQt6Core.so.6 libasound.so.2)

list="$dest/corpus-files.txt"
: > "$list"
for p in "${parts[@]}"; do
  read -r src name cap <<<"$p"
  [ -d "$src" ] || continue
  # Regular files only, in name order, until the cap is reached.
  find "$src" -type f -printf '%s %P\n' | sort -k2 | awk -v cap="$cap" -v src="$src" -v name="$name" \
    '{ if (total + $1 > cap) next; total += $1; sub(/^[0-9]+ /, ""); print src "/" $0 "\t" name "/" $0 }' >> "$list"
done
for l in "${libs[@]}"; do
  f=$(readlink -f "/usr/lib/x86_64-linux-gnu/$l" 2>/dev/null || true)
  [ -f "$f" ] && printf '%s\tlib/%s\n' "$f" "$l" >> "$list"
done

while IFS=$'\t' read -r src rel; do
  mkdir -p "$corpus/$(dirname "$rel")"
  cp --preserve=timestamps "$src" "$corpus/$rel"
done < "$list"

{
  echo "Corpus: $(find "$corpus" -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes"
  echo "File list checksum: $(cut -f2 "$list" | sha256sum | cut -d' ' -f1)"
  echo "Content checksum:   $(cd "$corpus" && find . -type f -print0 | sort -z | xargs -0 cat | sha256sum | cut -d' ' -f1)"
  # Best effort: files that belong to no package (made by maintainer scripts, say) make
  # dpkg-query fail, which must not end the script under pipefail once the corpus is made.
  echo "Packages the files come from:"
  { cut -f1 "$list" | xargs dpkg-query -S 2>/dev/null || true; } | cut -d: -f1 | tr ',' '\n' | sed 's/^ *//' |
    sort -u | { xargs dpkg-query -W -f='  ${Package} ${Version}\n' 2>/dev/null || true; } | sort -u
} > "$dest/SOURCES.txt"
head -3 "$dest/SOURCES.txt"
