#!/usr/bin/env bash
# The windowed program on a display, started by script name from a console as a user or Task
# Scheduler on the desktop starts it: the main window shows during the run and goes by itself, the
# log lines still reach the console's output, the exit status is the run's; an unknown script name
# shows the parameter error box, which waits for its OK, and its text reaches the error output too.
#   program_window_test.sh PATH/TO/dravello.exe PATH/TO/ZIPENGINE.DLL
# Needs DISPLAY (run it through run_with_display.sh) and xdotool. Wine comes from the environment:
# WINE (default "wine"), WINEPREFIX, WINEDEBUG.
set -uo pipefail
wine=${WINE:-wine}
command -v xdotool >/dev/null || { echo "xdotool is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
# The id of a visible window whose title matches, or nothing.
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }

mkdir -p "$work/prog" "$work/src/Letters"
cp "$1" "$2" "$work/prog/"
printf 'letter' > "$work/src/Letters/ann.doc"
# Enough to pack that the run lasts a moment: the window can be seen while it works.
head -c 40000000 /dev/urandom > "$work/src/big.bin"
printf '%s\r\n' "[applic]" "lang=en" "" "[scripts]" "Packed=" "" \
  "[script: Packed]" "CopyFiles=0" "DstPath=$(win "$work/zips")\\" "DstFormat=2" "SrcPath=\"1$(win "$work/src")\"" \
  "InclFiles=1" "" > "$work/prog/dravello.ini"

# A run by name: the window shows while it runs, the lines go to the console's output.
"$wine" "$work/prog/dravello.exe" Packed > "$work/out" 2> "$work/err" &
pid=$!
titles=""
while kill -0 "$pid" 2>/dev/null; do
  id=$(visible "Dravello")
  [ -n "$id" ] && titles+="$(xdotool getwindowname "$id" 2>/dev/null)"$'\n'
  sleep 0.1
done
wait "$pid"
status=$?
check "a run by name exits with 0" test "$status" -eq 0
check "its main window was shown while it ran" grep -q "Dravello" <<<"$titles"
check "the window is gone at the end" test -z "$(visible "Dravello")"
check "the log lines reached the console's output" grep -q "\[Packed\] Packing 2 files..." "$work/out"
# Lines that Wine itself prints ("wine: ...", its mount manager's notes on drive Z:) are not the
# program's.
grep -v "^wine: " "$work/err" > "$work/err.own"
check "nothing went to the error output" test ! -s "$work/err.own"
[ -s "$work/err.own" ] && sed "s/^/     /" "$work/err.own"
check "the archive was written" unzip -tqq "$work/zips.zip"

# An unknown name: the box shows and waits; its OK ends the program with status 2.
"$wine" "$work/prog/dravello.exe" "No Such" > "$work/out" 2> "$work/err" &
pid=$!
box=""
for _ in $(seq 150); do
  box=$(visible "^Parameter error$")
  [ -n "$box" ] && break
  sleep 0.1
done
check "an unknown script name shows the parameter error box" test -n "$box"
sleep 0.5
check "which waits for the user" kill -0 "$pid"
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box" 2>/dev/null
  xdotool key --clearmodifiers Return
fi
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  echo "FAIL the box did not take its OK; the program is stopped"
  fails=$((fails + 1))
  kill "$pid"
fi
wait "$pid"
status=$?
check "after OK the program exits with 2" test "$status" -eq 2
check "the box's text reached the error output" grep -q "The following script does not exist:#CRLF#No Such" "$work/err"

exit $((fails > 0))
