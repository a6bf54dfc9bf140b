#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks in build-bench (Release) and runs the preset
# database update benchmark; its arguments are passed on (--repeat N, --rows R[,R...]).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-bench -j2 --target UpdateRunBench
build-bench/bench/UpdateRunBench "$@"
