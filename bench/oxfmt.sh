#!/usr/bin/env bash
# The formatter against the compiler on the same generated source: median
# wall time of each (oxfmt printing to /dev/null, oxbuild writing its
# module), their ratio, and whether the source came back unchanged (the
# generator writes the one style already) and still compiles to the same
# module when formatted.
#   bench/oxfmt.sh [MB]    (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-10}
RUNS=${RUNS:-5}
echo "-- building oxbuild, oxfmt, bench_generate and bench_measure in build-bench" >&2
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target oxbuild oxfmt bench_generate bench_measure > /dev/null
dir=bench/out/oxfmt
rm -rf "$dir" && mkdir -p "$dir"
build-bench/bench/bench_generate realistic "$mb" "$dir" > /dev/null
src=$dir/realistic.oxs
read -r compile _ _ _ compiled < <(build-bench/bench/bench_measure "$RUNS" build-bench/oxbuild "$src")
read -r format _ _ peak formatted < <(build-bench/bench/bench_measure "$RUNS" build-bench/oxfmt/oxfmt "$src")
build-bench/oxfmt/oxfmt "$src" > "$dir/formatted.oxs"
unchanged=no
cmp -s "$src" "$dir/formatted.oxs" && unchanged=yes
(cd "$dir" && ../../../build-bench/oxbuild realistic.oxs > /dev/null && mv realistic.oxb before.oxb &&
  ../../../build-bench/oxbuild formatted.oxs > /dev/null)
same=no
cmp -s "$dir/before.oxb" "$dir/formatted.oxb" && same=yes
awk -v mb="$mb" -v c="$compile" -v f="$format" -v peak="$peak" -v u="$unchanged" -v s="$same" \
    -v cs="$compiled" -v fs="$formatted" 'BEGIN {
  printf "%s MB: oxbuild %.3f s, oxfmt %.3f s (%.2f x its compile time, peak %.0f MiB); ", mb, c, f, f / c, peak / 1024
  printf "text unchanged: %s, same module: %s%s\n", u, s, (cs != 0 || fs != 0) ? " (a run failed)" : ""
}'
rm -rf "$dir"
