#!/usr/bin/env bash
# Starts the dialog under Xvfb in the sample installation and saves a screenshot of the window.
# Usage: scripts/screenshot.sh <output.png> [program arguments...]
set -euo pipefail
out=$(realpath -m "$1"); shift
cd "$(dirname "$0")/.."
root=$PWD/sample-installation
[ -x "$root/Plant/Bin/Horavex_Config" ] || { echo "run scripts/run-sample.sh first" >&2; exit 1; }
export CFG_DRIVE_C=$root/drive_c
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  command -v twm > /dev/null && { twm -f /dev/null > /dev/null 2>&1 & sleep 0.5; }
  cd "'"$root"'/Plant/Bin" && ./Horavex_Config "$@" & pid=$!
  for i in $(seq 1 50); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -m1 "Erweiterte Konfiguration" | awk "{print \$1}") || true
    [ -n "$id" ] && break; sleep 0.2
  done
  sleep 1
  # With a window manager the frame (and its caption) is the parent of the client window.
  frame=$(xwininfo -id "$id" -tree 2>/dev/null | sed -n "s/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p")
  root=$(xwininfo -root | sed -n "s/.*Window id: \(0x[0-9a-f]*\).*/\1/p")
  [ -n "$frame" ] && [ "$frame" != "$root" ] && id=$frame
  import -window "$id" "'"$out"'"
  kill $pid' _ "$@"
echo "saved $out"
