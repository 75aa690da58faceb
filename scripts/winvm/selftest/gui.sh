#!/bin/bash
# Runs inside the guest: a message box under Xvfb, screenshot, dismiss it.
# Usage: gui.sh EXE SCREENSHOT.png
set -u
exe=$1 shot=$2
Xvfb :99 -screen 0 800x600x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xpid=$!
export DISPLAY=:99
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
xdpyinfo >/dev/null 2>&1 || { echo "gui: Xvfb did not start"; cat /tmp/xvfb.log; exit 1; }
wine "$exe" &
wpid=$!
win=
for _ in $(seq 300); do
  win=$(xdotool search --name '^winvm$' 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.5
done
[ -n "$win" ] || { echo "gui: message box window never appeared"; exit 1; }
echo "gui: window $win appeared"
sleep 2   # let it paint
import -window root "$shot" || { echo "gui: screenshot failed"; exit 1; }
echo "gui: screenshot taken"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
xdotool key --window "$win" Return
for _ in $(seq 120); do kill -0 "$wpid" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$wpid" 2>/dev/null; then echo "gui: message box did not close"; exit 1; fi
wait "$wpid"; rc=$?
echo "gui: message box exited with $rc"
wineserver -k 2>/dev/null
kill "$xpid"; wait "$xpid" 2>/dev/null
exit "$rc"
