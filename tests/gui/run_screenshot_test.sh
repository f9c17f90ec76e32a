#!/usr/bin/env bash
# Runs installer.exe over the sample CABs on a Wine virtual desktop inside a private Xvfb display,
# takes screenshots during the run and passes when one shows the banner and both bars partly
# filled. usage: run_screenshot_test.sh <installer.exe> <cabfiles folder> <work folder>
set -u
installer=$1; cabs=$2; work=$3
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)

rm -rf "$work/app" "$work/shots"
mkdir -p "$work/app/cabfiles" "$work/shots"
cp "$installer" "$work/app/"
cp "$cabs"/* "$work/app/cabfiles/"

display=:$((200 + $$ % 300))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display WINEPREFIX="$work/guiprefix" WINEDEBUG=-all
cleanup() { wineserver -k >/dev/null 2>&1; kill "$xvfb" 2>/dev/null; }
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$scripts/wine-prefix" "$WINEPREFIX" x11 || { echo "FAIL: cannot prepare the Wine prefix"; exit 1; }

( cd "$work/app" && exec wine explorer /desktop=KoviraTest,640x400 installer.exe ) >/dev/null 2>&1 &
for _ in $(seq 300); do xwininfo -root -tree 2>/dev/null | grep -q "Local Installer" && break; sleep 0.1; done
xwininfo -root -tree 2>/dev/null | grep -q "Local Installer" || { echo "FAIL: the installer's window never appeared"; exit 1; }

for n in $(seq 40); do
  shot="$work/shots/shot-$n.png"
  import -window root -crop 640x400+0+0 "$shot" 2>/dev/null || continue
  if verdict=$(convert "$shot" -depth 8 ppm:- | python3 "$here/check_run_screenshot.py"); then
    cp "$shot" "$work/run-screenshot.png"
    echo "PASS: $verdict (screenshot $n, saved as $work/run-screenshot.png)"
    exit 0
  fi
  last=$verdict
  sleep 0.1
done
echo "FAIL: no screenshot showed the banner and both bars in progress; last: ${last:-none}"
exit 1
