#!/usr/bin/env bash
# Regenerates the screenshots in docs/: the main window idle and the script editor filled with an
# example script, each in English and German. Runs the built program under Xvfb with a small
# window manager, drives it with the keyboard as a user would (xdotool) and captures its windows
# with their frames (ImageMagick). Then the same for the Windows program under Wine (docs/win-*.png),
# and its main window once more at 150 % (a Wine desktop of 144 DPI).
#
#   tools/screenshots.sh [BUILD_DIR [WIN_BUILD_DIR]]
#       BUILD_DIR: default build; the program must have been built with the Qt front end
#       (DRAVELLO_WITH_QT=ON). WIN_BUILD_DIR: default build-win64, the Windows build with its Wine
#       prefix (as ./test makes it); left out when it holds no dravello.exe.
#
# The program runs from a copy in a temporary folder, with an INI of its own beside it, so the
# build's INI and log are left alone. Installs the Debian packages it needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
winbuild=${2:-build-win64}
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

# The same script as Windows writes it, for the Windows program.
write_win_ini() {
  printf '%s\r\n' \
    "[applic]" "main left=40" "main top=40" "conf left=40" "conf top=40" "script no=0" "lang=$1" \
    "[scripts]" "Documents=" \
    "[script: Documents]" "CopyFiles=0" "DstPath=E:\\Backup\\" "DstFormat=0" \
    "SrcPath=\"1C:\\Users\\Ann\\Documents\",\"0C:\\Users\\Ann\\Desktop\",\"1D:\\Projects\\Website\"" \
    "SrcExt=\"*.doc\",\"*.xls\",\"*.odt\",\"*.txt\"" \
    "UseArchiveAttrib=1" "RemArchiveAttrib=1" "InclFiles=1" >"$tmp/win/dravello.ini"
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

# ---- The Windows program under Wine -------------------------------------------------------------

[ -f "$winbuild/bin/dravello.exe" ] && command -v wine >/dev/null || exit 0
export WINEPREFIX=$PWD/$winbuild/wineprefix WINEDEBUG=-all
mkdir -p "$tmp/win"
cp "$winbuild/bin/dravello.exe" "$winbuild/bin/ZIPENGINE.DLL" "$tmp/win/"
# Wine draws the frames of the program's windows itself (the Windows look), rather than icewm.
wine reg add 'HKCU\Software\Wine\AppDefaults\dravello.exe\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
set_dpi() {  # set_dpi DPI: the Wine desktop's resolution; 96 is Wine's default
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
}
trap 'set_dpi 96; cleanup' EXIT

shoot_windows() {
  local lang=$1 edit_key=$2 editor_title=$3 suffix=${4:-}
  write_win_ini "$lang"
  (cd "$tmp/win" && exec wine dravello.exe) >"$tmp/win-$lang.log" 2>&1 &
  local pid=$!
  local main
  main=$(window "Velmora's Dravello")
  [ -n "$main" ] || { echo "screenshots: the Windows main window did not open" >&2; cat "$tmp/win-$lang.log" >&2; exit 1; }
  xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main" 2>/dev/null || true
  capture "$main" "$out/win-main-$lang$suffix.png"
  if [ -n "$edit_key" ]; then
    xdotool key --clearmodifiers "$edit_key"
    local editor
    editor=$(window "$editor_title")
    [ -n "$editor" ] || { echo "screenshots: the Windows script editor did not open" >&2; exit 1; }
    capture "$editor" "$out/win-editor-$lang$suffix.png"
    xdotool key --clearmodifiers Escape
    sleep 0.5
  fi
  # The close box, as a user closes the window: the settings are written and the program ends.
  xdotool key --clearmodifiers alt+F4 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

set_dpi 96
shoot_windows en alt+e "Edit script"
shoot_windows de alt+b "Skript bearbeiten"
set_dpi 144
shoot_windows en alt+e "Edit script" -150
set_dpi 96
