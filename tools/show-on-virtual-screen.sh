#!/usr/bin/env bash
# Runs inside Xvfb: starts Notepad and qelvaro.exe with its picture window shown, types a sample
# line with real X key events and Caps Lock on, prints what Notepad received, and takes a
# screenshot. Everything it starts is ended before it returns.
#   show-on-virtual-screen.sh SCREENSHOT
set -euo pipefail
screenshot=$(realpath "$1")
cd "$(dirname "$0")/.."
source tools/common.sh
bin=${QELVARO_BIN:-build/windows/bin}

UseFreshWinePrefix
trap ForgetWinePrefix EXIT
LinkSyllabicsFont
wine reg add 'HKCU\Software\Tarnwell\Qelvaro' /v ViewKeyboard /t REG_DWORD /d 1 /f >/dev/null 2>&1
# Notepad's text large enough to read in the screenshot (in tenths of a point), and its window
# below the picture window, which comes up at the top left, framed as Notepad frames itself.
for setting in iPointSize=240 iWindowPosX=200 iWindowPosY=560 iWindowPosDX=700 iWindowPosDY=300; do
  wine reg add 'HKCU\Software\Microsoft\Notepad' /v "${setting%=*}" /t REG_DWORD \
    /d "${setting#*=}" /f >/dev/null 2>&1
done

wine notepad >/dev/null 2>&1 &
notepadProcess=$!
notepad=$(timeout 30 xdotool search --sync --onlyvisible --classname 'notepad' | head -n 1)
wine "$bin/qelvaro.exe" >/dev/null 2>&1 &
qelvaro=$!
wine "$bin/poke.exe" sync

# The text window takes the keys.
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  xdotool windowfocus "$notepad"
  xdotool mousemove --window "$notepad" 200 150 click 1
  sleep 0.5
  [ "$(wine "$bin/poke.exe" foreground | tr -d '\r')" = "Notepad" ] && break
done
# Caps Lock on, then the keys w k 4 t g 5 (the word Inuktitut), a space, and Shift+1..3.
xdotool key Caps_Lock
xdotool key --delay 60 w k 4 t g 5 space shift+1 shift+2 shift+3
xdotool key Caps_Lock
sleep 1

echo "Typed with Caps Lock on: w k 4 t g 5 space Shift+1 Shift+2 Shift+3"
echo "Notepad received: $(wine "$bin/poke.exe" notepad-text | tr -d '\r')"
import -window root -crop 970x870+0+0 +repage "$screenshot" # the two windows
echo "Screenshot: $screenshot"

wine "$bin/poke.exe" post 0x111 430 0 >/dev/null # the tray menu's Exit
wait "$qelvaro"
# Notepad would ask whether to save the line.
kill "$notepadProcess"
wait "$notepadProcess" || true
echo "Qelvaro and Notepad exited."
