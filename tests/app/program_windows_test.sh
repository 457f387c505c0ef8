#!/usr/bin/env bash
# Runs the Windows build of the program under Wine from the command line, as Task Scheduler would
# start it, on a copy script and on pack scripts over a small tree, and checks the copies, the
# archives, the log and the exit statuses with tools that know nothing of Dravello.
#   program_windows_test.sh PATH/TO/dravello.exe PATH/TO/ZIPENGINE.DLL
# Wine comes from the environment: WINE (default "wine"), WINEPREFIX, WINEDEBUG.
set -uo pipefail
wine=${WINE:-wine}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}
# The Windows name of a path of this machine: Wine's drive Z: is "/".
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
entries() { unzip -Z1 "$1" | sed 's|.*/||' | LC_ALL=C sort | tr '\n' ' '; }
run() { "$wine" "$work/prog/dravello.exe" "$@" > "$work/out" 2> "$work/err"; }

mkdir -p "$work/prog" "$work/src/Letters/2004" "$work/src/.cache" "$work/src/Notes"
cp "$1" "$2" "$work/prog/"
printf 'letter\r\n' > "$work/src/Letters/ann.doc"
printf 'old letter' > "$work/src/Letters/2004/bob.doc"
printf 'notes' > "$work/src/Notes/todo.txt"
printf 'greetings' > "$work/src/Notes/Grüße an Zoë.txt"
printf 'skipped' > "$work/src/.cache/tmp.dat"
head -c 3000000 /dev/urandom > "$work/src/big.bin"
touch -d '1975-06-01' "$work/src/Notes/todo.txt"
ini="$work/prog/dravello.ini"
printf '%s\r\n' "[applic]" "lang=en" "" "[scripts]" "Daily=" "Packed=" "" \
  "[script: Daily]" "CopyFiles=1" "DstPath=$(win "$work/dst")" "DstFormat=2" "SrcPath=\"1$(win "$work/src")\"" "" \
  "[script: Packed]" "CopyFiles=0" "DstPath=$(win "$work/zips")\\" "DstFormat=2" "SrcPath=\"1$(win "$work/src")\"" \
  "InclFiles=1" "" > "$ini"
cp "$ini" "$work/ini.before"

# Copy mode. The destination mirrors the source without its drive: Z:\tmp\x\src lands in
# dst\tmp\x\src.
run Daily
status=$?
mirror="$work/dst$work/src"
check "a copy run exits with 0" test "$status" -eq 0
check "the copy equals the source, hidden folders left out" diff -r -x .cache "$work/src" "$mirror"
check "a name beyond any 8-bit code page arrives under its own name" test -f "$mirror/Notes/Grüße an Zoë.txt"
check "copies keep the sources' last-write times" test -z "$(rsync -a -n -i --omit-dir-times --exclude=.cache "$work/src/" "$mirror/")"
check "the log reads like the documented example, CR LF and all" diff <(cut -c21- "$work/prog/dravello.log") <(printf '%s\r\n' \
  "[Daily] === Starting script ===" "[Daily] Retrieving filenames..." "[Daily] Processing 4 directories..." \
  "[Daily] Processing 5 files..." "[Daily] Copied 5 files..." "[Daily] === Finished script ===")
check "the transcript on stdout holds the log lines" grep -q "\[Daily\] Copied 5 files..." "$work/out"
check "nothing went to stderr" test ! -s "$work/err"
check "the settings were not written" cmp -s "$ini" "$work/ini.before"
check "no temporary file is left in the copy" test -z "$(find "$work/dst" -name '*.dvtmp*')"

run Daily
check "a second run copies nothing" grep -q "Copied 0 files" <(tail -n 2 "$work/prog/dravello.log")

# Pack mode.
run Packed
status=$?
check "a pack run exits with 0" test "$status" -eq 0
check "its archive passes unzip -t" unzip -tqq "$work/zips.zip"
check "holding every file but the hidden folder's" \
  test "$(entries "$work/zips.zip")" = "Grüße an Zoë.txt ann.doc big.bin bob.doc todo.txt "
check "with paths relative to the drive" unzip -Z1 "$work/zips.zip" | grep -qx "${work#/}/src/Letters/2004/bob.doc"
unzip -qq -d "$work/unpacked" "$work/zips.zip"
check "whose contents are the sources'" diff -r -x .cache "$work/src" "$work/unpacked${work}/src"
check "the log has the packing lines" grep -q "\[Packed\] Packing 5 files..." "$work/prog/dravello.log"
printf 'new' > "$work/src/new.txt"
run Packed
check "a second run extends the archive" test "$(entries "$work/zips.zip")" = "Grüße an Zoë.txt ann.doc big.bin bob.doc new.txt todo.txt "
check "which unzip still accepts" unzip -tqq "$work/zips.zip"

# Refusals and failures.
run "No Such"
check "an unknown script gives exit status 2" test $? -eq 2
check "its message box text goes to stderr" grep -q "The following script does not exist:#CRLF#No Such" "$work/err"
run a b
check "two parameters give exit status 2" test $? -eq 2
run
check "without a script name it names the way to run one and exits 2" test $? -eq 2 -a -n "$(grep "dravello Daily" "$work/err")"
rm "$work/prog/ZIPENGINE.DLL"
run Packed
check "a missing engine gives exit status 1" test $? -eq 1
check "with the DLL error on stderr" grep -q "^DLL error: The necessary ZIPENGINE.DLL could not be found." "$work/err"
check "the settings are still untouched" cmp -s "$ini" "$work/ini.before"

exit $((fails > 0))
