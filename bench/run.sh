#!/usr/bin/env bash
# Throughput and memory of oxbuild over generated sources.
#   bench/run.sh                 the realistic source at 1, 10 and 50 MB, and every shape
#   bench/run.sh realistic 50    one shape at one size (MB)
# Prints a table: size, lines, median wall time with min-max, MB/s, lines/s,
# instructions per source byte (with perf or valgrind when available), peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
scripts/install-deps.sh build
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j"$(nproc)" --target oxbuild bench_generate bench_measure > /dev/null
out=bench/out
mkdir -p "$out"

instructions() {  # total user-space instructions of one compile, or "-"
  local src=$1
  if perf stat -x, -e instructions:u true 2>&1 | grep -q '^[0-9]'; then
    perf stat -x, -e instructions:u build-bench/oxbuild "$src" 2>&1 > /dev/null | awk -F, '/instructions/ {print $1}'
  elif command -v valgrind > /dev/null && [ "${CALLGRIND:-1}" = 1 ]; then
    valgrind --tool=callgrind --callgrind-out-file=/dev/null build-bench/oxbuild "$src" 2>&1 > /dev/null |
      awk '/Collected/ {print $4}'
  else
    echo "-"
  fi
}

measure() {  # shape, size in MB
  local shape=$1 mb=$2 dir="$out/$1-$2"
  rm -rf "$dir" && mkdir -p "$dir"
  build-bench/bench/bench_generate "$shape" "$mb" "$dir"
  local src="$dir/$shape.oxs"
  local bytes lines
  bytes=$(find "$dir" -name '*.oxs' -o -name '*.oxh' | xargs cat | wc -c)
  lines=$(find "$dir" -name '*.oxs' -o -name '*.oxh' | xargs cat | wc -l)
  read -r median min max peak status < <(build-bench/bench/bench_measure "$RUNS" build-bench/oxbuild "$src")
  local ins
  ins=$(instructions "$src")
  awk -v shape="$shape" -v bytes="$bytes" -v lines="$lines" -v med="$median" -v min="$min" -v max="$max" \
      -v peak="$peak" -v ins="$ins" -v status="$status" 'BEGIN {
    ipb = (ins == "-" || ins == "") ? "-" : sprintf("%.1f", ins / bytes);
    printf "%-10s %9.2f %10d %8.3f (%.3f-%.3f) %9.1f %12.0f %8s %9.1f %s\n", shape, bytes / 1e6, lines, med, min, max,
           bytes / 1e6 / med, lines / med, ipb, peak / 1024, (status == 0 ? "" : "exit " status) }'
  rm -rf "$dir"
}

printf "%-10s %9s %10s %8s %13s %9s %12s %8s %9s\n" shape MB lines median "(min-max) s" MB/s lines/s ins/B "peak MiB"
if [ $# -ge 2 ]; then
  measure "$1" "$2"
  exit 0
fi
for mb in 1 10 50; do measure realistic $mb; done
for shape in functions globals blocks nested defines includes; do
  measure $shape 1
  measure $shape 10
done
measure bitmaps 1
measure waves 1
