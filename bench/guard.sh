#!/usr/bin/env bash
# The instruction guard: counts, with valgrind's callgrind (whose count is
# deterministic), the instructions a Release oxbuild takes to compile every
# bench shape at 1 MB and examples/clock.oxs, and fails when any count is
# more than 3% above the figure stored for it in bench/instructions.txt.
#   bench/guard.sh           counts and compares; exit status 1 when a count is too high
#   bench/guard.sh --print   counts and prints them in the file's form, to store new figures
# A table goes to standard output; what it is doing, to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
figures=bench/instructions.txt
tolerance_percent=3
shapes=(realistic functions globals blocks nested defines includes bitmaps waves)

case "${1:-}" in
  "") mode=check ;;
  --print) mode=print ;;
  *) sed -n '6,7p' "$0" | sed 's/^# //' >&2; exit 2 ;;
esac

scripts/install-deps.sh build guard
echo "-- guard: building oxbuild and bench_generate in build-bench" >&2
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
if ! cmake --build build-bench -j"$(nproc)" --target oxbuild bench_generate > build-bench/guard.log 2>&1; then
  cat build-bench/guard.log >&2
  exit 1
fi
oxbuild=$PWD/build-bench/oxbuild
out=bench/out/guard
rm -rf "$out" && mkdir -p "$out"

# Prints "name instructions" for one compilation in its folder; the source
# is named relative to it, so that the count does not depend on where the
# tree is. A compilation that does not create its module stops the guard.
count() {  # name, folder, source
  echo "-- guard: counting $1" >&2
  local ins
  ins=$(cd "$2" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$oxbuild" "$3" 2>&1 > /dev/null |
        awk '/Collected/ {print $4}')
  if [ -z "$ins" ] || [ ! -f "$2/${3%.oxs}.oxb" ]; then
    echo "guard: $1 did not compile" >&2
    exit 1
  fi
  echo "$1 $ins"
}

counts=$(
  for shape in "${shapes[@]}"; do
    mkdir -p "$out/$shape"
    build-bench/bench/bench_generate "$shape" 1 "$out/$shape"
    count "$shape" "$out/$shape" "$shape.oxs"
  done
  mkdir -p "$out/clock" && cp examples/clock.oxs "$out/clock/"
  count clock "$out/clock" clock.oxs
)
rm -rf "$out"

if [ "$mode" = print ]; then
  echo "$counts"
  exit 0
fi

# Each count against its figure; a name without a figure fails too.
awk -v tolerance="$tolerance_percent" '
  NR == FNR { if ($0 !~ /^#/ && NF == 2) stored[$1] = $2; next }
  {
    name = $1; now = $2
    if (!(name in stored)) { printf "%-10s %14s %14s  no stored figure\n", name, "-", now; failed = 1; next }
    change = (now - stored[name]) * 100 / stored[name]
    verdict = change > tolerance ? "  more than " tolerance "% above: FAILED" : ""
    if (verdict != "") failed = 1
    printf "%-10s %14d %14d %+7.2f%%%s\n", name, stored[name], now, change, verdict
  }
  BEGIN { printf "%-10s %14s %14s %8s\n", "what", "stored", "now", "change" }
  END {
    if (failed) { print "guard: FAILED (a figure changes only in a commit that says why: bench/guard.sh --print)"; exit 1 }
    print "guard: every count within " tolerance "% of its figure"
  }' "$figures" <(echo "$counts")
