#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in the prefix of the build folder the program is
# in. Wine's own background processes inherit the output descriptors and outlive the program,
# so its output goes through a file: a reader of a pipe would wait for them.
set -uo pipefail
program=$(readlink -f "$1")
shift
build=$(dirname "$program")
while [ ! -f "$build/CMakeCache.txt" ] && [ "$build" != / ]; do build=$(dirname "$build"); done
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
output=$(mktemp)
trap 'rm -f "$output"' EXIT
wine "$program" "$@" < /dev/null > "$output" 2>&1
status=$?
cat "$output"
exit $status
