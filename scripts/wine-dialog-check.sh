#!/usr/bin/env bash
# Checks the Windows program's dialog under Wine on a virtual X display (Xvfb, no window
# manager: the X window is the dialog's client area, in pixels as the model places it at 96 dpi).
# Usage: scripts/wine-dialog-check.sh WORK LINUX_BUILD; WORK holds the silent runs of
# scripts/test-windows.sh (linux/, windows/), whose results the dialog's OK must match.
# Screenshots go to WORK/dialog-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(realpath "$1")
linux=$(realpath "$2")
data=tests/data/endtoend
export WINEPREFIX=${WINEPREFIX:-$PWD/build-windows/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

displayFile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3> "$displayFile" 2> /dev/null &
xvfb=$!
program=
cleanup() {
  if [ -n "$program" ]; then kill "$program" 2> /dev/null || true; fi
  wineserver -k > /dev/null 2>&1 || true
  kill "$xvfb" 2> /dev/null || true
  rm -f "$displayFile"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$displayFile" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$displayFile")
# Wine's desktop process keeps the display its server started with: a server of the headless runs
# is ended first.
wineserver -k > /dev/null 2>&1 || true
wineserver -w > /dev/null 2>&1 || true

failed=0
fail() { echo "Windows dialog: $*" >&2; failed=1; }
# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
  local until=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.2
  done
}
window_named() { xdotool search --name "$1" 2> /dev/null | head -1; }
found() { [ -n "$(window_named "$1")" ]; }
gone() { ! found "$1"; }
# pixel WINDOW X Y: the colour there as r,g,b
pixel() {
  import -window "$1" "$work/pixel.png"
  convert "$work/pixel.png" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:
}
is_pixel() { [ "$(pixel "$1" "$2" "$3")" = "$4" ]; }
expect_pixel() {  # what, window, x, y, r,g,b: polled while the window paints
  wait_for 10 is_pixel "$2" "$3" "$4" "$5" || fail "$1 at $3,$4 is $(pixel "$2" "$3" "$4"), not $5"
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
# start NAME: a fresh installation as the silent Windows run had it, and the program started.
start() {
  root=$work/dialog-$1
  rm -rf "$root"
  mkdir -p "$root/Plant/Bin" "$root/Plant/parameter" "$root/Plant/Horavex"
  cp "$data/Program.ini" "$root/Plant/parameter/"
  cp "$data/Horavex.cfg" "$root/Plant/Horavex/"
  "$linux/src/Horavex_MakeTemplate" "$data/template.sql" "$root/Plant/Horavex/Horavex_Source.mdb"
  "$linux/src/Horavex_MakeTemplate" "$data/component.sql" "$root/Plant/Horavex/Horavex.mdb"
  cp "$work/windows/Plant/Bin/Horavex_Config.exe" "$root/Plant/Bin/"
  (cd "$root/Plant/Bin" && exec wine Horavex_Config.exe > "$root/output.txt" 2>&1) &
  program=$!
  wait_for 60 found "Erweiterte Konfiguration" || { fail "no window within 60 s"; exit 1; }
  window=$(window_named "Erweiterte Konfiguration")
}
finished() { ! kill -0 "$program" 2> /dev/null; }
# ended STATUS: the program ends by itself with that status.
ended() {
  wait_for 60 finished || { fail "did not end within 60 s"; return; }
  local status=0
  wait "$program" || status=$?
  program=
  [ "$status" = "$1" ] || fail "exit status $status, not $1 ($(cat "$root/output.txt"))"
}

# The places of the checks, in the window's pixels: twips / 15.
frameInterior=(133 464)  # frame of machine 1, below its last row and right of its boxes
quest=(498 522)          # a point of each button's face clear of its picture
ok=(568 522)
cancel=(686 522)
unitBox=(62 151)         # machine 1, time 1, seconds

start ok
grey=192,192,192
expect_pixel "frame interior" "$window" "${frameInterior[@]}" $grey
expect_pixel "help button" "$window" "${quest[@]}" $grey
expect_pixel "OK button" "$window" "${ok[@]}" $grey
expect_pixel "Cancel button" "$window" "${cancel[@]}" $grey
import -window "$window" "$work/dialog-standalone.png"
click "$window" $((quest[0] + 25)) $((quest[1] + 20))
expect_pixel "help button in help mode" "$window" "${quest[@]}" 0,255,0
import -window "$window" "$work/dialog-help-mode.png"
# In help mode a click on a unit box shows its help and leaves the box as it was.
click "$window" "${unitBox[@]}"
if wait_for 20 found "Info:"; then
  xdotool key --window "$(window_named "Info:")" Return 2> /dev/null
  wait_for 20 gone "Info:" ||
    fail "the help box did not close on Return"
else
  fail "no help box after a click on a unit box in help mode"
fi
click "$window" $((quest[0] + 25)) $((quest[1] + 20))
expect_pixel "help button after help mode" "$window" "${quest[@]}" $grey
click "$window" $((ok[0] + 50)) $((ok[1] + 25))
ended 0
# OK wrote what the silent start wrote (Wine's profile API drops blank lines; the editor stamp
# holds Wine's first environment entry).
for file in parameter/Program.ini Horavex/Horavex.cfg; do
  if ! diff <(grep -av '^S_Editor=' "$work/windows/Plant/$file") \
    <(grep -av '^S_Editor=' "$root/Plant/$file") > "$work/diff.txt"; then
    fail "$file after OK differs from the silent start's:"
    cat "$work/diff.txt" >&2
  fi
done
if ! diff <(sqlite3 "$work/windows/Plant/Horavex/Horavex.mdb" .dump) \
  <(sqlite3 "$root/Plant/Horavex/Horavex.mdb" .dump) > "$work/diff.txt"; then
  fail "Horavex.mdb after OK differs from the silent start's:"
  head -20 "$work/diff.txt" >&2
fi

start cancel
# The window's close request (Alt+F4) asks as Cancel does; No keeps the window.
xdotool key --window "$window" alt+F4 2> /dev/null
if wait_for 20 found "Cancel?"; then
  xdotool key --window "$(window_named "Cancel?")" n 2> /dev/null
  xdotool mousemove --window "$window" 5 5  # Wine removes a closed box on the next event
  wait_for 20 gone "Cancel?" || fail "No did not close the question after a close request"
  sleep 1
  ! finished || fail "the window closed although the close request was answered with No"
else
  fail "no question after a close request"
fi
click "$window" $((cancel[0] + 50)) $((cancel[1] + 25))
if wait_for 20 found "Cancel?"; then
  # A Yes/No question is answered only by Yes or No.
  xdotool key --window "$(window_named "Cancel?")" Escape 2> /dev/null
  sleep 1
  wait_for 10 found "Cancel?" || fail "Escape dismissed the question after Cancel"
  xdotool key --window "$(window_named "Cancel?")" y 2> /dev/null
  ended 2
else
  fail "no question after Cancel"
fi
cmp -s "$data/Program.ini" "$root/Plant/parameter/Program.ini" ||
  fail "Cancel changed Program.ini"

[ "$failed" = 0 ] || exit 1
echo "Windows dialog under Wine: drawn, help mode, OK and Cancel passed"
