#!/usr/bin/env bash
# oxrun against lua5.4 on the same programs (bench/oxrun/NAME.oxs and
# NAME.lua): loops, arithmetic, calls and string functions. Each runs RUNS
# times (default 5) in the same session; prints the median processor time
# of each and the ratio oxrun / lua, which the runner aims to keep at most 1.5.
# The sources are compiled in memory by oxrun as part of its time. Both
# must print the same value. Usage: bench/oxrun.sh [NAME]...
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
scripts/install-deps.sh build bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target oxrun > /dev/null
oxrun=build-bench/oxrun/oxrun
names=("$@")
[ ${#names[@]} -eq 0 ] && names=(loops arithmetic calls strings)

source bench/median.sh

run_oxrun() {
  "$oxrun" --max-steps 1000000000 --hide strcpy,strcat,strlen,strcmp "bench/oxrun/$1.oxs"
}

printf '%-12s %10s %10s %7s\n' program "oxrun ms" "lua ms" ratio
for name in "${names[@]}"; do
  ours=$(run_oxrun "$name" | sed -n 's/^  MessageBeep(\(.*\))$/\1/p')
  theirs=$(lua5.4 "bench/oxrun/$name.lua")
  [ "$ours" = "$theirs" ] || { echo "$name: oxrun gives $ours, lua $theirs" >&2; exit 1; }
  o=$(median_ms run_oxrun "$name")
  l=$(median_ms lua5.4 "bench/oxrun/$name.lua")
  printf '%-12s %10d %10d %7s\n' "$name" "$o" "$l" "$(awk -v o="$o" -v l="$l" 'BEGIN { printf "%.2f", (l > 0 ? o / l : 0) }')"
done
