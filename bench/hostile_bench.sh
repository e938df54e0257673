#!/usr/bin/env bash
# One collection run per hostile loopback server mode, each in a process of its own: what the
# tool did with the page, how long the page took and the run's peak resident size.
# Usage: bench/hostile_bench.sh [STALL_LIMIT_SECONDS]   (builds in build-bench unless BUILD_DIR is set)
set -euo pipefail
cd "$(dirname "$0")/.."
stall_limit="${1:-2}"
build="${BUILD_DIR:-build-bench}"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELVANTO_BUILD_APP=OFF >/dev/null
fi
cmake --build "$build" --target hostile_bench -j2 >/dev/null
"$build/bench/hostile_bench" --stall-limit "$stall_limit"
