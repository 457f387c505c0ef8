#!/usr/bin/env bash
# Runs a Windows program under Wine on a virtual X display of its own, so that it can open
# windows on a machine without a screen: starts Xvfb on a free display number, runs the program,
# stops Xvfb again, and passes on the program's exit status.
#   run_with_display.sh PROGRAM.exe [ARG...]
#   run_with_display.sh SCRIPT.sh [ARG...]    runs the shell script with DISPLAY set instead (its
#                                             Windows programs are then named by the script)
# Wine comes from the environment: WINE (default "wine"), WINEPREFIX, WINEDEBUG.
# Exit status 77 (a skip for CTest) when Xvfb is not installed.
set -uo pipefail
wine=${WINE:-wine}
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: nothing to show windows on"; exit 77; }

# A display number nobody uses: no lock file and no socket.
display=""
for n in $(seq 91 190); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
# The program's windows are left to Wine rather than to a window manager (there is none here):
# Wine draws their frames, and hiding one does not wait for a manager that never answers.
# Every Wine process here sees the display, the first one above all: the desktop process it starts
# for the prefix chooses the display driver of every program in the prefix. A prefix made here is
# made with the display, once.
export DISPLAY=":$display"
if [ -n "${WINEPREFIX:-}" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX (once)"
  # No offer to install Wine's .NET or HTML engines: a dialog nobody would answer.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1 || true
fi
unmanaged() { "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$1\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1; }
if [[ "$1" == *.sh ]]; then
  unmanaged dravello.exe
  bash "$@"
else
  unmanaged "$(basename "$1")"
  "$wine" "$@"
fi
