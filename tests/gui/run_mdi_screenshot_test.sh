#!/usr/bin/env bash
# Runs MDI.dll in axrun on a Wine virtual desktop inside a private Xvfb display: the frame with
# BgColor navy, its border and a picture from a loopback HTTP server, then four views cascaded by
# Sort. Passes when screenshots show both; keeps the second as mdi-views.png.
# usage: run_mdi_screenshot_test.sh <axrun.exe> <MDI.dll> <work folder>
set -u
axrun=$1; dll=$2; work=$3
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)

rm -rf "$work/site" "$work/shots"
mkdir -p "$work/site" "$work/shots"
python3 - "$work/site/back.bmp" <<'PY'
import struct, sys
w, h = 48, 32
pixels = bytes([0x00, 0x80, 0xFF]) * (w * h)  # orange, as blue-green-red
head = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(pixels), 0, 0, 54, 40, w, h, 1, 24, 0,
                   len(pixels), 0, 0, 0, 0)
open(sys.argv[1], "wb").write(head + pixels)
PY

# A display number of its own: the server picks a free one and says which.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site" >"$work/http.log" 2>&1 &
http=$!
export WINEPREFIX="$work/guiprefix" WINEDEBUG=-all
cleanup() { wineserver -k >/dev/null 2>&1; kill "$xvfb" "$http" 2>/dev/null; }
trap cleanup EXIT
for _ in $(seq 50); do
  port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/http.log")
  [ -n "$port" ] && [ -s "$work/display" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL: the HTTP server did not start"; exit 1; }
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
"$scripts/wine-prefix" "$WINEPREFIX" x11 || { echo "FAIL: cannot prepare the Wine prefix"; exit 1; }

wine explorer /desktop=KoviraMDI,640x400 "$axrun" --page "http://127.0.0.1:$port/page.html" \
  --script "$here/mdi_screenshot.js" "$dll" BgColor=navy BackImage=back.bmp >/dev/null 2>&1 &

# Screenshots until one passes the check of stage; prints the check's verdict.
shoot() {
  local stage=$1 n shot verdict
  for n in $(seq 150); do
    shot="$work/shots/$stage-$n.png"
    import -window root -crop 640x400+0+0 "$shot" 2>/dev/null || { sleep 0.1; continue; }
    if verdict=$(convert "$shot" -depth 8 ppm:- | python3 "$here/check_mdi_screenshot.py" "$@"); then
      cp "$shot" "$work/mdi-$stage.png"
      echo "$verdict"
      return 0
    fi
    echo "$verdict" >"$work/last-$stage.txt"
    sleep 0.1
  done
  return 1
}
navy=$(shoot frame) || { echo "FAIL: no screenshot of the frame; last: $(cat "$work/last-frame.txt")"; exit 1; }
verdict=$(shoot views "$navy") || { echo "FAIL: no screenshot of the views; last: $(cat "$work/last-views.txt")"; exit 1; }
echo "PASS: frame ($navy navy pixels), $verdict; saved as $work/mdi-views.png"
