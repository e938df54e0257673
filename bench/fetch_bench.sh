#!/usr/bin/env bash
# Sequential FetchUrl calls against the loopback directory, next to wrk -t1 -c1 on the same
# URL in the same run. Client and server are pinned to one core (the same placement for both
# clients), since cross-core wake-ups change the figures by a factor of about two here.
# Usage: bench/fetch_bench.sh [requests]   (builds in build-bench unless BUILD_DIR is set)
set -euo pipefail
cd "$(dirname "$0")/.."
requests="${1:-20000}"
build="${BUILD_DIR:-build-bench}"
core="${BENCH_CORE:-0}"

command -v wrk >/dev/null || scripts/install-deps bench
command -v taskset >/dev/null || { echo "fetch_bench.sh: taskset (util-linux) is missing" >&2; exit 1; }

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELVANTO_BUILD_APP=OFF >/dev/null
fi
cmake --build "$build" --target fetch_bench qelvanto-directory -j2 >/dev/null

out="$(mktemp)"
taskset -c "$core" "$build/tools/qelvanto-directory" >"$out" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
base="$(head -n1 "$out")"
url="${base}0?callback=groupCallback&name=%61"
echo "server: $base (core $core; clients on core $core too)"

fetch_line="$(taskset -c "$core" "$build/bench/fetch_bench" --url "$url" --requests "$requests")"
echo "$fetch_line"
wrk_rps="$(taskset -c "$core" wrk -t1 -c1 -d5s "$url" | awk '/Requests\/sec/ {print $2}')"
echo "wrk -t1 -c1: $wrk_rps requests/s"
fetch_rps="$(echo "$fetch_line" | sed -n 's/.*s, \([0-9]*\) requests\/s.*/\1/p')"
awk -v f="$fetch_rps" -v w="$wrk_rps" 'BEGIN { printf "FetchUrl / wrk: %.0f%%\n", 100 * f / w }'
