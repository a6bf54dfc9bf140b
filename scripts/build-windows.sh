#!/usr/bin/env bash
# Builds the Windows program build-windows/src/Horavex_Config.exe and its tests with MinGW-w64:
# installs what is missing, fetches SQLite's amalgamation (the npm registry's better-sqlite3
# package, pinned and checked) into the build folder, and prepares the Wine prefix the tests
# run in. Extra arguments go to the build (e.g. --target Horavex_Config).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
build=build-windows

# The SQLite amalgamation 3.53.2 as better-sqlite3 12.11.1 ships it (deps/sqlite3/).
package=better-sqlite3
version=12.11.1
sha256=ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835
sqlite=$build/sqlite-amalgamation
if [ ! -f "$sqlite/$version.ok" ]; then
  fetch=$build/fetch
  rm -rf "$fetch" "$sqlite"
  mkdir -p "$fetch" "$sqlite"
  (cd "$fetch" && npm pack --silent "$package@$version" > /dev/null)
  tarball=$fetch/$package-$version.tgz
  if ! echo "$sha256  $tarball" | sha256sum -c --quiet -; then
    echo "$tarball: SHA-256 differs from the pinned one" >&2
    exit 1
  fi
  tar -xzf "$tarball" -C "$sqlite" --strip-components=3 package/deps/sqlite3/sqlite3.c \
    package/deps/sqlite3/sqlite3.h
  rm -rf "$fetch"
  touch "$sqlite/$version.ok"
fi

# The prefix is made once, before anything runs in it: the test discovery starts programs in
# parallel.
if [ ! -f "$build/wineprefix/system.reg" ]; then
  mkdir -p "$build"
  WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    WINEARCH=win64 DISPLAY= wineboot --init > /dev/null 2>&1
  WINEPREFIX=$PWD/$build/wineprefix wineserver -w
fi

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DHORAVEX_SQLITE_AMALGAMATION="$PWD/$sqlite" -DHORAVEX_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" -j2 "$@"
