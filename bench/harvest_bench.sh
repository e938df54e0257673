#!/usr/bin/env bash
# Whole harvests against the loopback directory: Qelvanto's window (offscreen) beside a Python
# urllib scraper, a Python requests scraper and wrk -t1 -c1, all pinned with the server to one
# core so that they compete for it alike. Prints pages/s, CPU seconds per 1,000 pages and peak
# RSS for each, the ratio to wrk, and whether the kept rows agree with the Python peer's.
# Usage: bench/harvest_bench.sh   (builds in build/default unless BUILD_DIR is set)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build/default}"
[ -f "$build/build.ninja" ] || cmake --preset default >/dev/null
scripts/install-deps bench
cmake --build "$build" --target harvest_bench qelvanto-directory >/dev/null
core=0
pin() { taskset -c "$core" "$@"; }
work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT

# The value of KEY=VALUE in a result line (whole words only: "seconds" is not "cpu_seconds").
field() { grep -o "\b$1=[0-9.]*" <<<"$2" | head -1 | cut -d= -f2; }

scenario() {
  local pages=$1 latency=$2
  taskset -c "$core" "$build/tools/qelvanto-directory" --pages "$pages" --records 20 --latency-ms "$latency" --realistic \
    >"$work/server-$pages.out" &
  server=$!
  until [ -s "$work/server-$pages.out" ]; do sleep 0.05; done
  local base
  base=$(head -1 "$work/server-$pages.out")
  echo
  echo "== $pages pages of 20 records, ${latency} ms latency, everything on core $core =="
  printf '%-22s %10s %14s %12s %10s  %s\n' client pages/s "cpu s/1000p" "peak RSS MB" "x wrk" rows
  local wrk_rate
  wrk_rate=$(pin wrk -t1 -c1 -d5s "${base}0?callback=groupCallback&name=%6B&currentuid=100000001&_=1" |
             sed -n 's/Requests\/sec: *\([0-9.]*\)/\1/p')
  printf '%-22s %10.0f %14s %12s %10s\n' "wrk -t1 -c1" "$wrk_rate" - - 1.00
  local line name
  # The urllib peer goes first: the others' rows are compared with its rows.
  for name in python-urllib qelvanto python-requests; do
    case $name in
      qelvanto) line=$(pin "$build/bench/app/harvest_bench" "$base" "游戏" 50 "$work/$name-$pages.tsv") ;;
      python-urllib) line=$(pin python3 bench/harvest_peer.py urllib "$base" "游戏" 50 "$work/$name-$pages.tsv") ;;
      python-requests)
        python3 -c 'import requests' 2>/dev/null || { echo "python-requests: not installed"; continue; }
        line=$(pin python3 bench/harvest_peer.py requests "$base" "游戏" 50 "$work/$name-$pages.tsv") ;;
    esac
    local p s c r rows
    p=$(field pages "$line"); s=$(field seconds "$line"); c=$(field cpu_seconds "$line")
    r=$(field peak_rss_kb "$line"); rows=$(field rows "$line")
    local same=""
    if [ "$name" != python-urllib ]; then
      cmp -s "$work/$name-$pages.tsv" "$work/python-urllib-$pages.tsv" && same="(same rows as urllib)" || same="(ROWS DIFFER from urllib)"
    fi
    awk -v n="$name" -v p="$p" -v s="$s" -v c="$c" -v r="$r" -v w="$wrk_rate" -v rows="$rows" -v same="$same" \
      'BEGIN { printf "%-22s %10.0f %14.3f %12.1f %10.2f  %d %s\n", n, p/s, c/p*1000, r/1024, (p/s)/w, rows, same }'
  done
  kill "$server"; wait "$server" 2>/dev/null || true
}

scenario 2000 0
scenario 200 20
