#!/usr/bin/env bash
# The desktop as a user sees it: runs the built program on a display of its own (Xvfb) with a
# small window manager (IceWM) and drives it with xdotool as a person would, with the keyboard
# and the mouse. Takes a screenshot at each step and judges the INI, the log and the copies
# afterwards with tools that know nothing of Dravello.
#
#   desktop_test.sh PATH/TO/dravello PATH/TO/ZIPENGINE.DLL SCREENSHOT_DIR
#
# Needs Xvfb, IceWM, xdotool, xprop, xwininfo and ImageMagick's import (tools/deps.sh installs
# them). Every wait polls with a time limit; nothing relies on a fixed pause being long enough.
set -uo pipefail
prog_src=$1
dll_src=$2
shots=$3
started=$SECONDS

for tool in Xvfb icewm xdotool xprop xwininfo import; do
  command -v "$tool" >/dev/null || { echo "FAIL $tool is missing: tools/deps.sh installs it"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$shots"
mkdir -p "$shots" "$work/prog" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"

fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}
fatal() {
  echo "FAIL $*"
  [ -f "$work/prog.out" ] && sed 's/^/  program: /' "$work/prog.out"
  shoot fatal
  exit 1
}

# until SECONDS COMMAND...: polls COMMAND every 0.05 s until it succeeds; false after SECONDS.
until_ok() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.05
  done
}

# ---- A display of our own -------------------------------------------------------------------------

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
until_ok 20 test -s "$work/display" || { cat "$work/xvfb.log"; echo "FAIL Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/home/.config
unset QT_QPA_PLATFORM WAYLAND_DISPLAY SESSION_MANAGER
icewm >"$work/wm.log" 2>&1 &
pids+=($!)
# The window manager is up once it names itself on the root window.
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
until_ok 20 wm_ready || { cat "$work/wm.log"; echo "FAIL IceWM did not start"; exit 1; }

shot_no=0
shoot() {  # shoot NAME: the whole screen
  shot_no=$((shot_no + 1))
  import -silent -window root "$shots/$(printf %02d "$shot_no")-$1.png" 2>/dev/null
}

# The visible window whose title is exactly $1, not one of the ids in $2 (space separated).
find_window() {
  local id
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    case " ${2:-} " in *" $id "*) ;; *) echo "$id"; return 0 ;; esac
  done
  return 1
}
# wait_window TITLE [EXCLUDE]: prints its id once it is shown (20 seconds at most).
wait_window() {
  local id deadline=$((SECONDS + ${WAIT_SECONDS:-20}))
  until id=$(find_window "$1" "${2:-}"); do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.05
  done
  # Mapped and painted: it answers with its geometry and has the focus.
  until_ok 3 test "$(xdotool getactivewindow 2>/dev/null)" = "$id" || xdotool windowactivate "$id" 2>/dev/null
  sleep 0.3
  echo "$id"
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q "IsViewable"; }
gone() { ! viewable "$1"; }
wait_gone() { until_ok 20 gone "$1"; }
# wait_back DIALOG WINDOW: the dialog has closed and the window it came from is active again. As
# after a window opens, a moment more before the next click: a click within milliseconds of a
# modal dialog closing (sooner than any hand) was now and then lost under IceWM.
wait_back() {
  wait_gone "$1" || return 1
  until_ok 5 test "$(xdotool getactivewindow 2>/dev/null)" = "$2" || return 1
  sleep 0.3
}
# The client area's position and size: "X Y W H".
geometry() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
click() {  # click WINDOW X Y: the left button at client position X, Y
  xdotool mousemove --sync --window "$1" "$2" "$3" click 1
}
keys() { xdotool key --clearmodifiers "$@"; }
# open_by_click WINDOW X Y TITLE [EXCLUDE]: clicks until the window titled TITLE shows, and prints
# its id. On a busy machine a click that arrives while the program is still settling after a
# dialog can be lost, as it can for a person, who then clicks again: so does this, up to three
# times, and never once the window is there.
open_by_click() {
  local id try
  for try in 1 2 3; do
    click "$1" "$2" "$3"
    if id=$(WAIT_SECONDS=6 wait_window "$4" "${5:-}"); then
      echo "$id"
      return 0
    fi
  done
  return 1
}
type_text() { xdotool type --delay 15 --clearmodifiers "$1"; }
ini_has() { tr -d '\r' <"$work/prog/dravello.ini" | grep -qxF "$1"; }
ini_value() { tr -d '\r' <"$work/prog/dravello.ini" | sed -n "s/^$1=//p" | head -n1; }

# ---- The program, its data and its settings ------------------------------------------------------

cp "$prog_src" "$work/prog/dravello"
cp "$dll_src" "$work/prog/ZIPENGINE.DLL"
src=$work/src
dst=$work/dst
mkdir -p "$src/notes" "$src/bulk" "$dst"
printf 'letter\r\n' >"$src/a.txt"
printf 'second' >"$src/b.txt"
printf 'todo' >"$src/notes/c.txt"
printf 'not selected by the filter' >"$src/skip.dat"
# Enough files that a run lasts some seconds: long enough to be watched and asked to close.
bulk=20000
python3 -c 'import sys
for i in range(int(sys.argv[2])):
    open("%s/f%05d.txt" % (sys.argv[1], i), "w").write("file %d\n" % i)' "$src/bulk" "$bulk"
long="Weekly backup of the whole photo archive from the attic server to the blue disk and then on to the cloud copy of the family"
# Both windows were left off the screen, as the creeping editor left them.
printf '%s\r\n' "[applic]" "main left=-400" "main top=30" "conf left=-20" "conf top=-40" "script no=0" \
  "lang=en" "[scripts]" "$long=" "[script: $long]" "CopyFiles=1" "DstPath=$work/never/" "DstFormat=2" \
  "SrcPath=\"1$work/none\"" >"$work/prog/dravello.ini"

main_title="Velmora's Dravello"
(cd "$work/prog" && exec ./dravello) >"$work/prog.out" 2>&1 &
prog_pid=$!
pids+=("$prog_pid")

# ---- Start: the main window opens on the screen ----------------------------------------------------

main=$(wait_window "$main_title") || fatal "the main window did not open"
read -r mx my mw mh <<<"$(geometry "$main")"
check "the main window keeps its size of 312 by 108" test "$mw $mh" = "312 108"
check "the main window, left off the screen, opens on it" test "$mx" -ge 0 -a "$my" -ge 0
shoot start

# ---- A long script name: cut in the box, whole in the list, the window as it was -------------------

click "$main" 150 30  # the drop-down's arrow side
popup_shown() {
  local id
  for id in $(xdotool search --onlyvisible --class dravello 2>/dev/null); do
    [ "$id" = "$main" ] && continue
    local g
    g=$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')
    read -r px py pw ph <<<"$g"
    [ "$pw" -gt 50 ] && [ "$ph" -gt 10 ] && return 0
  done
  return 1
}
if until_ok 10 popup_shown; then
  sleep 0.3
  shoot long-name-list
  check "the opened list lies on the screen" test "$px" -ge 0 -a $((px + pw)) -le 800
  check "the opened list is wider than the box for the long name" test "$pw" -gt 296
else
  check "the drop-down list opened" false
fi
keys Escape
until_ok 5 test "$(geometry "$main" | cut -d' ' -f3,4)" = "312 108"
check "the main window still measures 312 by 108" test "$(geometry "$main" | cut -d' ' -f3,4)" = "312 108"

# ---- Add a script through the editor -------------------------------------------------------------

keys alt+a
editor=$(wait_window "Add script") || fatal "Add did not open the editor"
read -r ex ey _ _ <<<"$(geometry "$editor")"
check "the editor, left off the screen, opens on it" test "$ex" -ge 0 -a "$ey" -ge 0
editor_at="$ex $ey"
shoot editor-add

# OK with no name: the error box, wide enough for its caption.
click "$editor" 260 340
box=$(wait_window "Error: Missing script name") || fatal "no box for a missing name"
read -r _ _ bw _ <<<"$(geometry "$box")"
check "the missing-name box is wider than the caption alone needs ($bw)" test "$bw" -ge 300
shoot missing-name-box
keys Return
wait_gone "$box"
editor=$(wait_window "Add script") || fatal "the editor did not open again after the refused name"
reopened_at=$(geometry "$editor" | cut -d' ' -f1,2)
check "the editor reopens where it was ($editor_at, then $reopened_at)" test "$reopened_at" = "$editor_at"

type_text "Daily"
# The destination through the folder chooser: the path typed into it, Enter chooses.
chooser=$(open_by_click "$editor" 368 214 "Select backup destination") || fatal "Browse did not open the folder chooser"
shoot folder-chooser-en
type_text "$dst"
keys Return
wait_back "$chooser" "$editor" || fatal "the editor was not active again after the folder chooser"
# A source folder the same way.
chooser=$(open_by_click "$editor" 34 130 "Select backup destination") || fatal "Add source did not open the folder chooser"
type_text "$src"
keys Return
wait_back "$chooser" "$editor" || fatal "the editor was not active again after the folder chooser"
# A filter through the input dialog, titled like the main window.
input=$(open_by_click "$editor" 378 130 "$main_title" "$main") || fatal "Add filter did not open the input dialog"
read -r _ _ iw _ <<<"$(geometry "$input")"
check "the input dialog is wide enough for its caption ($iw)" test "$iw" -ge 260
shoot filter-input
type_text "*.txt"
keys Return
wait_back "$input" "$editor" || fatal "the editor was not active again after the input dialog"
click "$editor" 230 268  # fixed path
sleep 0.2
shoot editor-filled
click "$editor" 260 340  # OK
wait_gone "$editor"
until_ok 10 ini_has "[script: Daily]"
check "the INI holds the new script" ini_has "[script: Daily]"
check "its destination is the chosen folder" ini_has "DstPath=$dst/"
check "its source is the chosen folder, searched recursively" ini_has "SrcPath=\"1$src/\""
check "its filter is the typed one" ini_has "SrcExt=\"*.txt\""
check "its destination style is the fixed path" ini_has "DstFormat=2"

# ---- Run it and watch the progress ------------------------------------------------------------------

# Every title the window shows, as the X server announces its changes.
xprop -spy -id "$main" _NET_WM_NAME >"$work/titles" 2>/dev/null &
spy=$!
pids+=("$spy")
keys alt+r
running() { grep -q '%, rem: ' "$work/titles"; }
finished() { tr -d '\r' <"$work/prog/dravello.log" 2>/dev/null | grep -q '\[Daily\] === Finished script ==='; }
if until_ok 30 running; then
  # The close box while it runs (IceWM's Alt+F4 asks the window to close): refused, with a reason.
  # Whether the run was still going is read just before the close is asked for: read after it, a
  # quick machine may have finished the run meanwhile, with the refusal seen all the same.
  xdotool windowactivate --sync "$main" 2>/dev/null
  if finished; then was_running=no; else was_running=yes; fi
  keys alt+F4
  sleep 0.3
  shoot close-refused
  check "the run was still going when the close was asked for" test "$was_running" = yes
  check "a close asked for during the run leaves the window open" viewable "$main"
  # Over the bar: its tooltip tells the same figures as the title.
  xdotool mousemove --window "$main" 150 75
  sleep 1.2
  shoot run-progress-tooltip
fi
finished() { tr -d '\r' <"$work/prog/dravello.log" 2>/dev/null | grep -q '\[Daily\] === Finished script ==='; }
until_ok 60 finished || fatal "the run did not finish"
check "the title showed percent done and time left" grep -qE "Velmora's Dravello \([0-9]+%, rem: [0-9]+:[0-9]{2}\)" "$work/titles"
check "the title is the plain title again" test "$(xdotool getwindowname "$main")" = "$main_title"
check "the window is still open after the run" viewable "$main"
kill "$spy" 2>/dev/null
shoot run-done

# ---- Switch to German ----------------------------------------------------------------------------

click "$main" 301 98  # the language button
sleep 0.5
shoot german

# ---- Move the editor by its title bar: it reopens where the user left it --------------------------

keys alt+b  # "&Bearb."
editor=$(wait_window "Skript bearbeiten") || fatal "Edit did not open the editor"
read -r ex ey _ _ <<<"$(geometry "$editor")"
check "the editor opens where it was ($editor_at, now $ex $ey)" test "$ex $ey" = "$editor_at"
# Pressed on the title bar above the client area, dragged in steps as a hand would.
xdotool mousemove $((ex + 100)) $((ey - 8)) mousedown 1 sleep 0.2 mousemove $((ex + 120)) $((ey + 10)) \
  sleep 0.2 mousemove $((ex + 140)) $((ey + 22)) sleep 0.2 mouseup 1
dragged() { [ "$(geometry "$editor" | cut -d' ' -f1,2)" != "$editor_at" ]; }
until_ok 5 dragged
check "the editor follows a drag by its title bar" dragged
sleep 0.3
editor_at=$(geometry "$editor" | cut -d' ' -f1,2)
shoot editor-dragged
keys Escape
wait_gone "$editor" || fatal "Escape did not close the dragged editor"

# ---- Reopen the editor ten times: it stays where it was ------------------------------------------

positions=()
for round in $(seq 10); do
  keys alt+b  # "&Bearb."
  editor=$(wait_window "Skript bearbeiten") || fatal "Edit did not open the editor (round $round)"
  positions+=("$(geometry "$editor" | cut -d' ' -f1,2)")
  if [ "$round" = 1 ]; then
    shoot editor-de
    # The folder chooser speaks German too.
    chooser=$(open_by_click "$editor" 368 214 "Zielverzeichnis der Sicherung auswählen") || fatal "no German folder chooser"
    shoot folder-chooser-de
    keys Escape
    wait_back "$chooser" "$editor" || fatal "the editor was not active again after the German folder chooser"
  fi
  keys Escape
  wait_gone "$editor" || fatal "Escape did not close the editor (round $round)"
done
moved=0
for p in "${positions[@]}"; do [ "$p" = "$editor_at" ] || moved=1; done
check "ten openings of the editor all at $editor_at (saw: ${positions[*]})" test "$moved" = 0

# ---- Delete with the confirmation box --------------------------------------------------------------

keys alt+l  # "&Löschen"
confirm=$(wait_window "Betätigung") || fatal "Delete asked nothing"
shoot delete-confirm
keys Return  # Ja is the default button
wait_gone "$confirm"
until_ok 10 eval '! ini_has "[script: Daily]"'
check "the deleted script left the INI" eval '! ini_has "[script: Daily]"'

# ---- Close ---------------------------------------------------------------------------------------

xdotool windowactivate --sync "$main" 2>/dev/null
keys alt+F4
exited() { ! kill -0 "$prog_pid" 2>/dev/null; }
until_ok 20 exited || fatal "the program did not end when its window was closed"
wait "$prog_pid"
check "the program ended with status 0" test $? -eq 0

check "the INI keeps German" ini_has "lang=de"
check "the INI keeps the editor where the user saw it ($editor_at)" \
  test "$(ini_value 'conf left') $(ini_value 'conf top')" != "-20 -40"
read -r cl ct <<<"$(ini_value 'conf left') $(ini_value 'conf top')"
check "the remembered editor position is on the screen ($cl, $ct)" test "$cl" -ge 0 -a "$ct" -ge 0
check "the remembered main window position is on the screen" test "$(ini_value 'main left')" -ge 0
log() { tr -d '\r' <"$work/prog/dravello.log" | cut -c21-; }
check "the log has the run from start to end" diff <(log | grep '^\[Daily\] ===') \
  <(printf '%s\n' "[Daily] === Starting script ===" "[Daily] === Finished script ===")
check "the log counts every selected file" grep -qx "\[Daily\] Copied $((bulk + 3)) files..." <(log)
check "the copies equal the selected sources" diff -r -x '*.dat' "$src" "$dst$src"
check "the excluded file was not copied" test ! -e "$dst$src/skip.dat"

# ---- Started again: the editor opens where it was left ---------------------------------------------

(cd "$work/prog" && exec ./dravello) >"$work/prog.out" 2>&1 &
prog_pid=$!
pids+=("$prog_pid")
main=$(wait_window "$main_title") || fatal "the main window did not open again"
keys alt+b
editor=$(wait_window "Skript bearbeiten") || fatal "Edit did not open the editor after the restart"
check "after a restart the editor opens where it was left ($editor_at)" \
  test "$(geometry "$editor" | cut -d' ' -f1,2)" = "$editor_at"
keys Escape
wait_gone "$editor" || fatal "Escape did not close the editor after the restart"
xdotool windowactivate --sync "$main" 2>/dev/null
keys alt+F4
until_ok 20 exited || fatal "the program did not end the second time"

echo "screenshots: $shots ($(ls "$shots" | wc -l) files); $((SECONDS - started)) s"
[ "$fails" -eq 0 ]
