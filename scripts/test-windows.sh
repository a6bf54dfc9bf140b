#!/usr/bin/env bash
# Builds the Windows target and runs under Wine every test that needs no window, then the
# Windows program's silent start on the installation of tests/data/endtoend, compared with the
# Linux program's run (build/, made by scripts/test.sh before) and with the expected files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
windows=$PWD/build-windows
linux=$PWD/build
export WINEPREFIX=$windows/wineprefix WINEDEBUG=-all
# One Wine server for all the runs: a start then takes a fraction of a second.
wineserver -p 600 < /dev/null > /dev/null 2>&1 || true  # one may be running already
trap 'wineserver -k > /dev/null 2>&1 || true' EXIT
# A test binary that Wine fails to start (no output at all, under heavy load) gets one more try;
# a fault of the test itself fails again.
(cd "$windows" && ctest --output-on-failure -j2 --timeout 120 --repeat until-pass:2)

cmake --build "$linux" -j2 --target Horavex_Config Horavex_MakeTemplate > /dev/null
data=tests/data/endtoend
work=$windows/endtoend
rm -rf "$work"
for side in linux windows; do
  root=$work/$side
  mkdir -p "$root/Plant/Bin" "$root/Plant/parameter" "$root/Plant/Horavex" "$root/drive_c"
  cp "$data/Program.ini" "$root/Plant/parameter/"
  cp "$data/Horavex.cfg" "$root/Plant/Horavex/"
  "$linux/src/Horavex_MakeTemplate" "$data/template.sql" "$root/Plant/Horavex/Horavex_Source.mdb"
  "$linux/src/Horavex_MakeTemplate" "$data/component.sql" "$root/Plant/Horavex/Horavex.mdb"
done
cp "$linux/src/Horavex_Config" "$work/linux/Plant/Bin/"
cp "$windows/src/Horavex_Config.exe" "$work/windows/Plant/Bin/"
servicePackLog=$WINEPREFIX/drive_c/PakroServicePack.log
rm -f "$servicePackLog"
(cd "$work/linux/Plant/Bin" &&
  env -i USERNAME=tester PATH=/usr/bin:/bin CFG_DRIVE_C="$work/linux/drive_c" \
    ./Horavex_Config /EXTERNAL SILENT) && status=0 || status=$?
[ "$status" = 0 ] || { echo "Linux silent start: exit status $status, not 0" >&2; exit 1; }
wineRun=$PWD/cmake/wine-run.sh
(cd "$work/windows/Plant/Bin" && "$wineRun" Horavex_Config.exe /EXTERNAL SILENT) && status=0 ||
  status=$?
[ "$status" = 0 ] || { echo "Windows silent start: exit status $status, not 0" >&2; exit 1; }
# A run without failures writes no log: compared as empty.
touch "$work/windows/Plant/Q4Tcfglog.txt" "$servicePackLog"

failed=0
same() {  # what, expected, actual
  if ! diff -u "$2" "$3" > "$work/diff.txt"; then
    echo "Windows silent start: $1 differs:" >&2
    cat "$work/diff.txt" >&2
    failed=1
  fi
}
sqlite3 "$work/linux/Plant/Horavex/Horavex.mdb" .dump > "$work/linux.sql"
sqlite3 "$work/windows/Plant/Horavex/Horavex.mdb" .dump > "$work/windows.sql"
same "Horavex.mdb (against the Linux run)" "$work/linux.sql" "$work/windows.sql"
same "Q4Tcfglog.txt" "$data/expected/Q4Tcfglog.txt" "$work/windows/Plant/Q4Tcfglog.txt"
# The service-pack log with the installation's folder as <ROOT>, as the expected file has it.
root=$(echo "Z:$work/windows" | tr '/a-z' '\\A-Z')
sed "s|$(printf '%s' "$root" | sed 's/\\/\\\\/g')|<ROOT>|g" "$servicePackLog" | tr '\\' '/' \
  > "$work/PakroServicePack.log"
same "PakroServicePack.log" "$data/expected/PakroServicePack.log" "$work/PakroServicePack.log"
# Wine's profile API writes an ini file anew from what it parsed, without its blank lines (Windows
# changes the file in place); the editor stamp encodes the first environment entry, which is
# Wine's own. The Linux run shows that the rest is the expected file.
for file in parameter/Program.ini Horavex/Horavex.cfg; do
  name=$(basename "$file")
  same "$name (Linux)" "$data/expected/$name" "$work/linux/Plant/$file"
  grep -avE -e $'^\r?$' -e '^S_Editor=' "$data/expected/$name" > "$work/expected-$name"
  grep -av -e '^S_Editor=' "$work/windows/Plant/$file" > "$work/windows-$name"
  same "$name" "$work/expected-$name" "$work/windows-$name"
done
# A start that needs a window ends with status 4 and writes nothing when Wine has no display.
noDisplay=$work/no-display
mkdir -p "$noDisplay/Plant/Bin" "$noDisplay/Plant/parameter"
cp "$data/Program.ini" "$noDisplay/Plant/parameter/"
cp "$windows/src/Horavex_Config.exe" "$noDisplay/Plant/Bin/"
(cd "$noDisplay/Plant/Bin" && "$wineRun" Horavex_Config.exe > "$noDisplay/output.txt") && status=0 ||
  status=$?
if [ "$status" != 4 ] || ! grep -q 'no display' "$noDisplay/output.txt" ||
  [ -e "$noDisplay/Plant/Bin/Horavex_Config.ini" ] ||
  ! cmp -s "$data/Program.ini" "$noDisplay/Plant/parameter/Program.ini"; then
  echo "Windows start without a display: status $status, not 4 with nothing written:" >&2
  cat "$noDisplay/output.txt" >&2
  failed=1
fi
[ "$failed" = 0 ] || exit 1

# The dialog under Wine on a virtual display: a standalone start drawn with Windows' own controls,
# help mode by mouse, OK writing what the silent start wrote, a close request answered with No,
# Cancel confirmed with Yes.
scripts/wine-dialog-check.sh "$work" "$linux"
echo "Windows: tests, silent start and dialog under Wine passed"
