#!/usr/bin/env bash
# The language server's latency: from a change of a 10,000-line document to
# its new diagnostics.
#   bench/oxls.sh [LINES] [CHANGES]    (defaults 10000 and 20)
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-10000}
changes=${2:-20}
echo "-- building oxls, bench_generate and bench_oxls_latency in build-bench" >&2
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target oxls bench_generate bench_oxls_latency > /dev/null
dir=bench/out/oxls
rm -rf "$dir" && mkdir -p "$dir"
# The realistic shape, cut after whole functions at about the line count.
build-bench/bench/bench_generate realistic "$(awk -v l="$lines" 'BEGIN { print l * 40 / 1e6 }')" "$dir"
awk -v l="$lines" 'NR <= l || !done { print } NR >= l && /^}/ { done = 1 }' "$dir/realistic.oxs" > "$dir/source.oxs"
build-bench/bench/bench_oxls_latency build-bench/oxls/oxls "$dir/source.oxs" "$changes"
rm -rf "$dir"
