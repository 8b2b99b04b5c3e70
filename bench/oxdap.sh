#!/usr/bin/env bash
# oxrun under its debug adapter, with no breakpoint set, against a plain
# run of the same programs (bench/oxrun/NAME.oxs): the adapter is to cost
# at most 1.2 times the plain run. The adapter gets initialize, launch and
# configurationDone, then the end of its input, and runs the program to its
# end. Each runs RUNS times (default 5); prints the median processor time of
# each and the ratio. Usage: bench/oxdap.sh [NAME]...
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
scripts/install-deps.sh build
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target oxrun > /dev/null
oxrun=build-bench/oxrun/oxrun
names=("$@")
[ ${#names[@]} -eq 0 ] && names=(loops arithmetic calls strings)
hidden=strcpy,strcat,strlen,strcmp
requests=$(mktemp)
trap 'rm -f "$requests"' EXIT

source bench/median.sh

# The requests, each in its Content-Length frame.
framed() {
  for body in "$@"; do printf 'Content-Length: %d\r\n\r\n%s' "${#body}" "$body"; done
}

write_requests() {
  framed '{"seq":1,"type":"request","command":"initialize","arguments":{"adapterID":"oxrun"}}' \
    "{\"seq\":2,\"type\":\"request\",\"command\":\"launch\",\"arguments\":{\"program\":\"bench/oxrun/$1.oxs\",\"maxSteps\":1000000000,\"hide\":[\"${hidden//,/\",\"}\"]}}" \
    '{"seq":3,"type":"request","command":"configurationDone"}' > "$requests"
}

run_plain() { "$oxrun" --max-steps 1000000000 --hide "$hidden" "bench/oxrun/$1.oxs"; }
run_adapter() { "$oxrun" --dap < "$requests"; }

printf '%-12s %10s %12s %7s\n' program "plain ms" "adapter ms" ratio
for name in "${names[@]}"; do
  write_requests "$name"
  run_adapter | grep -q '"exitCode":0' || { echo "$name: the adapter's run did not end normally" >&2; exit 1; }
  p=$(median_ms run_plain "$name")
  a=$(median_ms run_adapter)
  printf '%-12s %10d %12d %7s\n' "$name" "$p" "$a" "$(awk -v a="$a" -v p="$p" 'BEGIN { printf "%.2f", (p > 0 ? a / p : 0) }')"
done
