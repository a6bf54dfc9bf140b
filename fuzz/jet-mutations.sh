#!/usr/bin/env bash
# Feeds damaged copies of the Jet sample files to Horavex_ImportJet (not part of CI):
# truncated files, flipped bytes and overwritten runs, each run under an outer timeout well
# above the importer's own limit. Prints how the runs ended; a hang or a crash of the importer
# itself is a fault (a crash of its reading child ends the import with a message).
#   [KEEP=folder] fuzz/jet-mutations.sh [RUNS] [IMPORTER] [SAMPLES]
# KEEP keeps the inputs that reached the time limit.
set -uo pipefail
runs=${1:-200}
importer=${2:-build/src/Horavex_ImportJet}
samples=${3:-../shared/jet-samples}
limit=5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t files < <(ls "$samples"/*.mdb)
declare -A count=([imported]=0 [message]=0 [time-limit]=0 [reader-crash]=0 [hang]=0 [crash]=0)
for ((i = 0; i < runs; i++)); do
  src=${files[RANDOM % ${#files[@]}]}
  size=$(stat -c %s "$src")
  cp "$src" "$work/in.mdb"
  chmod u+w "$work/in.mdb"
  case $((RANDOM % 3)) in
    0) truncate -s $(( (RANDOM * 32768 + RANDOM) % size )) "$work/in.mdb" ;;
    1) for ((k = 0; k < 1 + RANDOM % 16; k++)); do
         printf "\\x$(printf %02x $((RANDOM % 256)))" |
           dd of="$work/in.mdb" bs=1 seek=$(( (RANDOM * 32768 + RANDOM) % size )) conv=notrunc status=none
       done ;;
    2) head -c $((1 + RANDOM % 512)) /dev/urandom |
         dd of="$work/in.mdb" bs=1 seek=$(( (RANDOM * 32768 + RANDOM) % size )) conv=notrunc status=none ;;
  esac
  rm -f "$work/out.sqlite"
  timeout -s KILL $((limit * 4)) "$importer" -t "$limit" "$work/in.mdb" "$work/out.sqlite" \
    > /dev/null 2> "$work/err"
  rc=$?
  if [ $rc -eq 0 ]; then
    count[imported]=$((count[imported] + 1))
  elif [ $rc -eq 1 ] && grep -q "within $limit s" "$work/err"; then
    count[time-limit]=$((count[time-limit] + 1))
    [ -n "${KEEP:-}" ] && cp "$work/in.mdb" "$KEEP/limit-$i-$(basename "$src")"
  elif [ $rc -eq 1 ] && grep -q "reading it ended with" "$work/err"; then
    count[reader-crash]=$((count[reader-crash] + 1))
  elif [ $rc -eq 1 ] && grep -q "Horavex_ImportJet: " "$work/err"; then
    count[message]=$((count[message] + 1))
  elif [ $rc -eq 137 ]; then
    count[hang]=$((count[hang] + 1)); cp "$work/in.mdb" "hang-$i.mdb"
  else
    count[crash]=$((count[crash] + 1)); cp "$work/in.mdb" "crash-$i.mdb"
  fi
done
echo "runs $runs: imported ${count[imported]}, refused with a message ${count[message]}," \
     "stopped at the time limit ${count[time-limit]}, reader crashed (contained, with a message)" \
     "${count[reader-crash]}, hangs ${count[hang]}, crashes ${count[crash]}"
[ "${count[hang]}" -eq 0 ] && [ "${count[crash]}" -eq 0 ]
