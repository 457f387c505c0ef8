#!/usr/bin/env bash
# Regenerates the screenshots in docs/: the main window idle and the script editor filled with an
# example script, each in English and German. Runs the built program under Xvfb with a small
# window manager, drives it with the keyboard as a user would (xdotool) and captures its windows
# with their frames (ImageMagick).
#
#   tools/screenshots.sh [BUILD_DIR]    BUILD_DIR: default build; the program must have been
#                                       built with the Qt front end (DRAVELLO_WITH_QT=ON)
#
# The program runs from a copy in a temporary folder, with an INI of its own beside it, so the
# build's INI and log are left alone. Installs the Debian packages it needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prog=$build/bin/dravello
out=docs

if [ ! -x "$prog" ]; then
  echo "screenshots: $prog not found; build it first (cmake --build $build --target dravello)" >&2
  exit 1
fi

source tools/deps.sh
dravello_install_packages xvfb xdotool imagemagick icewm fonts-liberation2

tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/prog" "$out"
cp "$prog" "$tmp/prog/"
[ -f "$build/bin/ZIPENGINE.DLL" ] && cp "$build/bin/ZIPENGINE.DLL" "$tmp/prog/"

# A display of our own: Xvfb picks a free number and tells it on fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$tmp/display")
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
icewm >"$tmp/wm.log" 2>&1 &
pids+=($!)
sleep 1

# The INI beside the program: one example script, selected, in the given language.
write_ini() {
  printf '%s\r\n' \
    "[applic]" "main left=40" "main top=40" "conf left=40" "conf top=40" "script no=0" "lang=$1" \
    "[scripts]" "Documents=" \
    "[script: Documents]" "CopyFiles=0" "DstPath=/media/backup/" "DstFormat=0" \
    "SrcPath=\"1/home/ann/Documents\",\"0/home/ann/Desktop\",\"1/srv/projects/website\"" \
    "SrcExt=\"*.doc\",\"*.xls\",\"*.odt\",\"*.txt\"" \
    "UseArchiveAttrib=1" "RemArchiveAttrib=1" "InclFiles=1" >"$tmp/prog/dravello.ini"
}

# The id of the visible window with exactly this title (waits up to 20 seconds).
window() {
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1
}

capture() {
  sleep 0.7  # let it paint
  import -silent -frame -window "$1" "$2"
  echo "wrote $2"
}

shoot() {
  local lang=$1 edit_key=$2 editor_title=$3
  write_ini "$lang"
  (cd "$tmp/prog" && exec ./dravello) >"$tmp/prog-$lang.log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  local main
  main=$(window "Velmora's Dravello")
  [ -n "$main" ] || { echo "screenshots: the main window did not open" >&2; cat "$tmp/prog-$lang.log" >&2; exit 1; }
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  capture "$main" "$out/main-$lang.png"

  # Edit opens the editor for the selected script, through the button's accelerator.
  xdotool key --clearmodifiers "$edit_key"
  local editor
  editor=$(window "$editor_title")
  [ -n "$editor" ] || { echo "screenshots: the script editor did not open" >&2; exit 1; }
  capture "$editor" "$out/editor-$lang.png"

  xdotool key --clearmodifiers Escape
  sleep 0.5
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

shoot en alt+e "Edit script"
shoot de alt+b "Skript bearbeiten"
