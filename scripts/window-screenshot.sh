#!/usr/bin/env bash
# Takes docs/window.png: starts the program from build/ under a virtual X
# server, lets scripts/demo-app.py connect as the app, selects nothing and
# captures the window. Needs Xvfb, xwininfo, xwd and ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/app/KomaSlateUtility
[ -x "$program" ] || { echo "Build first: ./run.sh or cmake --build build" >&2; exit 1; }

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x900x24 -nolisten tcp &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

"$program" &
app=$!
for _ in $(seq 100); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"KomaSlate Utility Version/ {print $1; exit}')
  [ -n "${id:-}" ] && break
  sleep 0.1
done
[ -n "${id:-}" ] || { echo "The window did not appear." >&2; exit 1; }

python3 scripts/demo-app.py 127.0.0.1 3210 &
sleep 2 # the list and its thumbnails arrive
mkdir -p docs
xwd -silent -id "$id" | convert xwd:- docs/window.png
kill %3 2>/dev/null || true
echo "docs/window.png written"
