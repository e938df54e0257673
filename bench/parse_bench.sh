#!/usr/bin/env bash
# The page path (UTF-8 body -> code page 936 -> record matching -> field cuts) against a
# Python peer on the same bytes.
# Usage: bench/parse_bench.sh [BUILD_DIR]   (default: $BUILD_DIR, else build/default)
set -euo pipefail
build=${1:-${BUILD_DIR:-build/default}}
here=$(cd "$(dirname "$0")" && pwd)
cmake --build "$build" --target parse_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/parse_bench" --bodies="$work" \
    --benchmark_out="$work/cpp.json" --benchmark_out_format=json
python3 "$here/parse_peer.py" "$work" "$work/cpp.json"
