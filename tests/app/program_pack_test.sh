#!/usr/bin/env bash
# Runs the built program on pack scripts from the command line, beside its engine library, and
# checks the archives with Info-ZIP's unzip.
#   program_pack_test.sh PATH/TO/dravello PATH/TO/ZIPENGINE.DLL
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}
entries() { unzip -Z1 "$1" | sed 's|.*/||' | sort | tr '\n' ' '; }

mkdir -p "$work/prog" "$work/src/sub"
cp "$1" "$2" "$work/prog/"
printf 'a' > "$work/src/a.txt"
printf 'b' > "$work/src/sub/b.txt"
printf 'c' > "$work/src/c.log"
script() {  # script NAME FORMAT USEARCHIVE REMARCHIVE FILTER
  printf '%s\r\n' "[script: $1]" "CopyFiles=0" "DstPath=$work/out/$1/" "DstFormat=$2" "SrcPath=\"1$work/src\"" \
    "SrcExt=$5" "UseArchiveAttrib=$3" "RemArchiveAttrib=$4" "InclFiles=1" ""
}
{
  printf '%s\r\n' "[scripts]" "Long=" "Short=" "Fixed=" "Flagged=" "Empty=" ""
  script Long 0 0 0 ""
  script Short 1 0 0 ""
  script Fixed 2 0 0 ""
  script Flagged 2 1 1 '"*.txt"'
  script Empty 2 0 0 '"*.none"'
} > "$work/prog/dravello.ini"
run() { "$work/prog/dravello" "$1" > "$work/out.txt" 2> "$work/err.txt"; }

run Long
check "a long-path run exits with 0" test $? -eq 0
long=$(ls "$work"/out/Long/*.zip 2>/dev/null | head -n 1)
check "it packs into a dated archive" test -n "$long"
check "which unzip accepts" unzip -tqq "$long"
check "holding every selected file" test "$(entries "$long")" = "a.txt b.txt c.log "
check "the log has the packing lines" grep -q "\[Long\] Packing 3 files..." "$work/prog/dravello.log"
check "and the done line" grep -q "\[Long\] Packing done." "$work/prog/dravello.log"

run Short
check "a short-path run makes the year folder" test -n "$(ls "$work"/out/Short/[0-9][0-9][0-9][0-9]/*.zip 2>/dev/null)"

run Fixed
printf 'd' > "$work/src/d.txt"
run Fixed
check "a fixed-path archive sits beside its folder and a second run extends it" \
  test "$(entries "$work/out/Fixed.zip")" = "a.txt b.txt c.log d.txt "
check "and unzip accepts it" unzip -tqq "$work/out/Fixed.zip"

setfattr -n user.DOSATTRIB -v '"0x0"' "$work/src/a.txt" 2>/dev/null  # archive bit cleared by another tool
run Flagged
check "with the archive attribute only flagged files are packed" test "$(entries "$work/out/Flagged.zip")" = "b.txt d.txt "
check "all selected files are counted" grep -q "\[Flagged\] Packing 3 files..." "$work/prog/dravello.log"
check "packed files lose their archive attribute" test "$(getfattr --only-values -n user.DOSATTRIB "$work/src/sub/b.txt" 2>/dev/null | tr -d '\0')" = "0x0"
check "files left out keep theirs" test -z "$(getfattr --only-values -n user.DOSATTRIB "$work/src/c.log" 2>/dev/null)"

run Empty
check "an empty selection is no failure" test $? -eq 0
check "and writes no archive" test ! -e "$work/out/Empty.zip"

rm "$work/prog/ZIPENGINE.DLL"
run Fixed
check "a missing engine gives exit status 1" test $? -eq 1
check "with the DLL error on stderr" grep -q "^DLL error: The necessary ZIPENGINE.DLL could not be found." "$work/err.txt"

exit $((fails > 0))
