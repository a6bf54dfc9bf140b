#!/usr/bin/env bash
# Starts the dialog under Xvfb in the sample installation and saves a screenshot of the window.
# Xvfb runs without a window manager, so the picture shows the client area without a title bar.
# Usage: [INSTALLATION=dir] [CLICK="x y"] scripts/screenshot.sh <output.png> [program arguments...]
# CLICK clicks the window at pixel x, y before the picture is taken (xdotool).
set -euo pipefail
out=$(realpath -m "$1"); shift
cd "$(dirname "$0")/.."
root=${INSTALLATION:-$PWD/sample-installation}
click=${CLICK:-}
[ -x "$root/Plant/Bin/Horavex_Config" ] || { echo "run scripts/run-sample.sh first" >&2; exit 1; }
export CFG_DRIVE_C=$root/drive_c
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  cd "'"$root"'/Plant/Bin" && ./Horavex_Config "$@" & pid=$!
  for i in $(seq 1 50); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -m1 "Erweiterte Konfiguration" | awk "{print \$1}") || true
    [ -n "$id" ] && break; sleep 0.2
  done
  xwininfo -id "$id" | grep -o "\"Erweiterte Konfiguration[^\"]*\"" || true
  sleep 1
  if [ -n "'"$click"'" ]; then xdotool mousemove --window "$id" '"$click"' click 1; sleep 1; fi
  import -window "$id" "'"$out"'"
  kill $pid' _ "$@"
echo "saved $out"
