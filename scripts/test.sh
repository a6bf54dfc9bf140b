#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once normally, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, once built for Windows and run under Wine;
# checks the formatting and runs the fuzzers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows

unformatted=$(clang-format --dry-run --Werror $(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'bench/*.cpp' 2>/dev/null) 2>&1 | grep -c 'error:' || true)
if [ "$unformatted" != "0" ]; then
  echo "clang-format: $unformatted places differ from .clang-format" >&2
  exit 1
fi

for variant in build build-asan; do
  flags=(-DCMAKE_BUILD_TYPE=Debug)
  [ "$variant" = build-asan ] && flags+=(-DHORAVEX_SANITIZE=ON)
  cmake -S . -B "$variant" "${flags[@]}" > /dev/null
  cmake --build "$variant" -j2
  (cd "$variant" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
done

if [ -f fuzz/CMakeLists.txt ]; then
  cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DHORAVEX_FUZZ=ON -DHORAVEX_BUILD_TESTS=OFF > /dev/null
  targets=$(sed -n 's/^add_executable(\([A-Za-z0-9_]*Fuzz\).*/\1/p' fuzz/CMakeLists.txt)
  for t in $targets; do
    cmake --build build-fuzz -j2 --target "$t"
    mkdir -p "build-fuzz/corpus-$t"
    TMPDIR=/dev/shm build-fuzz/fuzz/"$t" -max_total_time=30 -max_len=4096 "build-fuzz/corpus-$t"
  done
fi
# The Windows target, cross-compiled, its tests under Wine.
scripts/test-windows.sh
echo "all tests passed"
