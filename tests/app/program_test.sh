#!/usr/bin/env bash
# Runs the built program from the command line on a real temporary tree, the way a scheduler
# would, and checks the result with tools that know nothing of Dravello.
#   program_test.sh PATH/TO/dravello
set -uo pipefail
prog_src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}

mkdir -p "$work/prog" "$work/src/Letters/2004" "$work/src/.cache" "$work/src/Notes"
cp "$prog_src" "$work/prog/dravello"
printf 'letter\r\n' > "$work/src/Letters/ann.doc"
printf 'old letter' > "$work/src/Letters/2004/bob.doc"
printf 'notes' > "$work/src/Notes/todo.txt"
printf 'rc' > "$work/src/.profile"
printf 'skipped' > "$work/src/.cache/tmp.dat"
head -c 3000000 /dev/urandom > "$work/src/big.bin"
touch -d '1975-06-01' "$work/src/Notes/todo.txt"
ini="$work/prog/dravello.ini"
printf '%s\r\n' "[applic]" "lang=en" "" "[scripts]" "Daily=" "Broken=" "" \
  "[script: Daily]" "CopyFiles=1" "DstPath=$work/dst" "DstFormat=2" "SrcPath=\"1$work/src\"" "" \
  "[script: Broken]" "DstPath=$work/dst2" "DstFormat=2" "SrcPath=\"1$work/broken\"" > "$ini"
cp "$ini" "$work/ini.before"

"$work/prog/dravello" Daily > "$work/out" 2> "$work/err"
status=$?
mirror="$work/dst$work/src"
check "a copy run exits with 0" test "$status" -eq 0
check "the copy equals the source, hidden folders left out" diff -r -x .cache "$work/src" "$mirror"
# Folders are made by the run and keep the time they were made; only files carry their times.
check "rsync finds nothing to do either" test -z "$(rsync -a -n -i --omit-dir-times --exclude=.cache "$work/src/" "$mirror/")"
check "the log reads like the documented example" diff <(cut -c21- "$work/prog/dravello.log") <(printf '%s\r\n' \
  "[Daily] === Starting script ===" "[Daily] Retrieving filenames..." "[Daily] Processing 4 directories..." \
  "[Daily] Processing 5 files..." "[Daily] Copied 5 files..." "[Daily] === Finished script ===")
check "the transcript on stdout holds the log lines" grep -q "\[Daily\] Copied 5 files..." "$work/out"
check "nothing went to stderr" test ! -s "$work/err"
check "the settings were not written" cmp -s "$ini" "$work/ini.before"

"$work/prog/dravello" Daily > /dev/null 2>&1
check "a second run copies nothing" grep -q "Copied 0 files" <(tail -n 2 "$work/prog/dravello.log")

# A display that is named but gone (a scheduler's stale environment, a closed remote session)
# must not stop the backup: the run goes on without windows.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:987 "$work/prog/dravello" Daily > "$work/out" 2> "$work/err"
status=$?
check "with a display that does not answer, a run by name still runs" test "$status" -eq 0
check "and writes its transcript" grep -q "\[Daily\] Copied 0 files" "$work/out"
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:987 "$work/prog/dravello" > "$work/out" 2> "$work/err"
status=$?
check "without a script name it says what to do and exits 2" test "$status" -eq 2
check "naming the way to run a script" grep -q "dravello Daily" "$work/err"

mkdir -p "$work/broken"
ln -s "$work/nowhere" "$work/broken/dangling"
"$work/prog/dravello" Broken > "$work/out" 2> "$work/err"
status=$?
check "a failed step gives exit status 1" test "$status" -eq 1
check "the failed step is logged" grep -q "### Exception during copying $work/broken/dangling" "$work/prog/dravello.log"

"$work/prog/dravello" "No Such" > "$work/out" 2> "$work/err"
status=$?
check "an unknown script gives exit status 2" test "$status" -eq 2
check "its message box text goes to stderr" grep -q "The following script does not exist:#CRLF#No Such" "$work/err"
"$work/prog/dravello" a b > "$work/out" 2> "$work/err"
status=$?
check "two parameters give exit status 2" test "$status" -eq 2
check "with the parameter error on stderr" grep -q "^Parameter error: You specified more than one parameter." "$work/err"
check "the settings are still untouched" cmp -s "$ini" "$work/ini.before"

# A preview of a run: the files it would copy and the count line on stdout, and nothing written,
# not even the log the window creates at start-up.
mkdir -p "$work/preview"
cp "$prog_src" "$work/preview/dravello"
printf '%s\r\n' "[applic]" "lang=en" "" "[scripts]" "Daily=" "" \
  "[script: Daily]" "CopyFiles=1" "DstPath=$work/dst3" "DstFormat=0" "SrcPath=\"1$work/src/Notes\"" > "$work/preview/dravello.ini"
cp "$work/preview/dravello.ini" "$work/preview.ini.before"
"$work/preview/dravello" --dry-run Daily > "$work/out" 2> "$work/err"
status=$?
check "a dry run exits with 0" test "$status" -eq 0
check "it names each file with its copy" grep -q "^$work/src/Notes/todo.txt -> $work/dst3/[0-9-]* [0-9-]*/" "$work/out"
check "and ends with the count line" test "$(tail -n 1 "$work/out")" = "Copied 1 files..."
check "it writes no log" test ! -e "$work/preview/dravello.log"
check "no destination" test ! -e "$work/dst3"
check "and leaves the INI as it was" cmp -s "$work/preview/dravello.ini" "$work/preview.ini.before"
check "nothing else in the program's folder" test "$(ls "$work/preview" | tr '\n' ' ')" = "dravello dravello.ini "
"$work/preview/dravello" --dry-run "No Such" > "$work/out" 2> "$work/err"
status=$?
check "a dry run of an unknown script exits with 2" test "$status" -eq 2
check "with the unknown-script box on stderr" grep -q "The following script does not exist:#CRLF#No Such" "$work/err"
"$work/preview/dravello" --dry-run Daily more > "$work/out" 2> "$work/err"
check "a dry run with more parameters exits with 2" test $? -eq 2
check "still writing no log" test ! -e "$work/preview/dravello.log"

exit $((fails > 0))
