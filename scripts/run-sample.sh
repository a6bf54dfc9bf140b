#!/usr/bin/env bash
# Installs what is missing, builds, lays out a sample installation in ./sample-installation and
# starts the program there: the dialog when a display is available, otherwise a silent start
# followed by a summary of what the run changed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug > /dev/null
cmake --build build -j2 --target Horavex_Config

root=$PWD/sample-installation
rm -rf "$root"
mkdir -p "$root"
cp -r sample/Plant "$root/"
mkdir -p "$root/Plant/Bin" "$root/drive_c"
cp build/src/Horavex_Config "$root/Plant/Bin/"
if [ -x build/src/Horavex_MakeTemplate ] || cmake --build build -j2 --target Horavex_MakeTemplate > /dev/null 2>&1; then
  build/src/Horavex_MakeTemplate sample/template.sql "$root/Plant/Horavex/Horavex_Source.mdb"
fi
export CFG_DRIVE_C=$root/drive_c
cp -r "$root" "$root.before"
trap 'rm -rf "$root.before"' EXIT

cd "$root/Plant/Bin"
if [ -n "${DISPLAY:-}" ]; then
  echo "Starting the dialog in $root/Plant/Bin (drive C is $CFG_DRIVE_C)"
  ./Horavex_Config && status=0 || status=$?
else
  echo "No display: silent start in $root/Plant/Bin"
  ./Horavex_Config /EXTERNAL SILENT && status=0 || status=$?
fi
echo "Exit status: $status"
echo "== What the run changed =="
cd "$root"
diff -r --strip-trailing-cr -N "$root.before" "$root" -x Horavex_Config -x '*.mdb' -x '*.mdb.bak*' | sed "s|$root.before|before|; s|$root|after|" || true
if [ -f Plant/Horavex/Horavex.mdb ] && command -v sqlite3 > /dev/null; then
  echo "== PRESET_DEFS of Plant/Horavex/Horavex.mdb =="
  sqlite3 -header -column Plant/Horavex/Horavex.mdb 'SELECT * FROM PRESET_DEFS' | head -n 40
fi
exit "$status"
