#!/usr/bin/env bash
# A long harvest's memory: peak RSS after 2,000 and after 20,000 pages with a minimum that
# keeps no group (so the list stays empty and only the log grows), and with the default
# minimum (rows kept). Peak RSS should grow with the rows and the log, not with the pages.
# Usage: bench/long_harvest.sh   (builds in build/default unless BUILD_DIR is set)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build/default}"
[ -f "$build/build.ninja" ] || cmake --preset default >/dev/null
cmake --build "$build" --target harvest_bench qelvanto-directory >/dev/null
work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
printf '%8s %10s %8s %10s %12s %10s\n' pages minimum rows seconds "peak RSS MB" "log KB"
for minimum in 100000000 50; do
  for pages in 2000 20000; do
    "$build/tools/qelvanto-directory" --pages "$pages" --records 20 --realistic >"$work/server-$minimum-$pages.out" &
    server=$!
    until [ -s "$work/server-$minimum-$pages.out" ]; do sleep 0.05; done
    line=$("$build/bench/app/harvest_bench" "$(head -1 "$work/server-$minimum-$pages.out")" k "$minimum" "$work/rows.tsv")
    kill "$server"; wait "$server" 2>/dev/null || true
    get() { grep -o "\b$1=[0-9.]*" <<<"$line" | head -1 | cut -d= -f2; }
    # Every page writes one entry of about 20 bytes, every kept row one more.
    awk -v p="$(get pages)" -v m="$minimum" -v r="$(get rows)" -v s="$(get seconds)" -v k="$(get peak_rss_kb)" \
      'BEGIN { printf "%8d %10d %8d %10.1f %12.1f %10.0f\n", p, m, r, s, k/1024, (p + r) * 20 / 1024 }'
  done
done
