#!/usr/bin/env bash
# Takes the pictures in docs/: starts the program from build/ under a virtual
# X server, lets komaslate-devicesim connect as the app with its sample
# drawings and works the window
# with xdotool as a person would:
#   docs/window.png            the main window listing the app's drawings
#   docs/save-dialog.png       the save dialog of a download, with its check box
#   docs/overwrite-dialog.png  the question when an uploaded name already exists
#
# Needs Xvfb, xwininfo, xwd, xdotool and ImageMagick's convert. These are
# developer tools for this script only, not needed to build or to run the
# tests; on Debian, as root:
#   apt-get install -y xvfb x11-utils x11-apps xdotool imagemagick
#
# The program runs as a copy in a temporary folder, so that it keeps its
# settings there (beside the program) and the settings of build/ stay as
# they are; Qt's own settings (the file dialogs' folders and column widths)
# go to a temporary folder too. The save dialog opens in a temporary folder
# of sample PNGs.
# There is no window manager: windows have no frames, and keyboard focus is
# given to a window with xdotool before typing into it.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/app/KomaSlateUtility
tool=build/cli/komaslate-tool
devicesim=build/sim/komaslate-devicesim
for file in "$program" "$tool" "$devicesim"; do
  [ -x "$file" ] || { echo "Build first: ./run.sh or cmake --build build ($file is missing)" >&2; exit 1; }
done
for command in Xvfb xwininfo xwd xdotool convert python3 iconv; do
  command -v "$command" >/dev/null || {
    echo "$command is missing: apt-get install -y xvfb x11-utils x11-apps xdotool imagemagick" >&2
    exit 1
  }
done
port=3210
if ! python3 - "$port" <<'EOF'
import socket, sys
with socket.socket() as s:
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("", int(sys.argv[1])))
EOF
then
  echo "Port $port is in use (is the program already running?)." >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/komaslate-screenshot.XXXXXX")
xvfb='' app='' demo=''
cleanup() {
  for pid in $demo $app $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "$1" >&2
  [ -s "$work/demo.log" ] && { echo "komaslate-devicesim said:" >&2; cat "$work/demo.log" >&2; }
  [ -s "$work/app.log" ] && { echo "The program said:" >&2; cat "$work/app.log" >&2; }
  exit 1
}

# Polls until a shell condition holds: wait_for SECONDS DESCRIPTION COMMAND...
wait_for() {
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  fail "Timed out waiting for $what."
}

# The id of a shown window whose whole title matches the pattern $1, if any.
shown_window() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}
no_window() { [ -z "$(shown_window "$1")" ]; }

# The id of a shown window whose whole title matches $1, waiting for it.
window_named() {
  local id=''
  for _ in $(seq 100); do
    id=$(shown_window "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "Timed out waiting for the window \"$1\"."
}

# Writes window $1 to $2 as PNG once two captures 0.3 s apart are the same,
# so that what the window fills in after it appears is in the picture.
capture() {
  local id=$1 out=$2 previous='' current=''
  for _ in $(seq 30); do
    xwd -silent -id "$id" >"$work/capture.xwd"
    current=$(md5sum <"$work/capture.xwd")
    [ "$current" = "$previous" ] && break
    previous=$current
    sleep 0.3
  done
  convert "xwd:$work/capture.xwd" -strip "$out"
  echo "$out written"
}

# The keys $2... typed into window $1, after giving it the keyboard focus.
keys_to() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id"
  xdotool key --delay 50 "$@"
}

mkdir -p "$work/drawings" "$work/app"

# The program's settings, in its own format (UTF-16 with a byte-order mark
# and CR LF): the save dialog opens in the sample folder with PNG chosen and
# the check box clear.
cp "$program" "$work/app/"
printf '[FileDlg]\r\nExportFolder=%s\r\nExportExt=.png\r\nExportLayerTile=0\r\n' "$work/drawings" |
  iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/app/KomaSlateUtility.ini"

export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

Xvfb -displayfd 3 -screen 0 1024x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
wait_for 10 "Xvfb" test -s "$work/display"
DISPLAY=:$(head -1 "$work/display")
export DISPLAY

(cd "$work" && exec app/KomaSlateUtility) >"$work/app.log" 2>&1 &
app=$!
main=$(window_named "KomaSlate Utility Version.*")

# The simulator fills its store with the sample drawings, then connects.
"$devicesim" --samples --store "$work/ksd" --port "$port" >"$work/demo.log" 2>&1 &
demo=$!
drawing_count() { find "$work/ksd" -name '*.ksd' 2>/dev/null | wc -l; }
have_drawings() { [ "$(drawing_count)" -gt 0 ]; }
wait_for 10 "the sample drawings" have_drawings
thumbnails_arrived() { [ "$(grep -c '^GetThumb .* -> ok' "$work/demo.log")" -ge "$(drawing_count)" ]; }
wait_for 20 "the list and its thumbnails" thumbnails_arrived
# PNG files of the drawings for the dialogs.
for drawing in "$work"/ksd/*.ksd; do
  "$tool" convert "$drawing" "$work/drawings/$(basename "$drawing" .ksd).png"
done
mkdir -p docs
capture "$main" docs/window.png

# Download the first drawing: the list gets the focus (Alt+L), Space selects
# its first row, Alt+O downloads.
keys_to "$main" alt+l Home space alt+o
save=$(window_named "名前を付けて保存")
capture "$save" docs/save-dialog.png
keys_to "$save" Escape
wait_for 10 "the download to end" no_window "処理中.*"

# Upload the PNG of a drawing the app holds, typing its path into the open
# dialog. The first drawing with an ASCII name: xdotool type can lose
# non-ASCII characters.
upload=$(cd "$work/ksd" && ls -- *.ksd | LC_ALL=C grep -m1 '^[ -~]*$') || fail "No drawing has an ASCII name."
upload=$work/drawings/$(basename "$upload" .ksd).png
keys_to "$main" alt+u
open=$(window_named "開く")
xdotool windowfocus --sync "$open"
xdotool type --delay 30 "$upload"
xdotool key Return
overwrite=$(window_named "上書き確認")
capture "$overwrite" docs/overwrite-dialog.png
