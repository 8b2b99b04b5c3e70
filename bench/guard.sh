#!/usr/bin/env bash
# The instruction guard: counts, with valgrind's callgrind (whose count is
# deterministic), the instructions a Release oxbuild executes inside its own
# executable to compile every bench shape at 1 MB and examples/clock.oxs, and
# fails when any count is more than 3% above the figure stored for it in
# bench/instructions.txt. Only the executable's own code is counted: the
# dynamic loader's work depends on the environment and the paths, and the C
# library's string functions are chosen by the processor; the whole
# process's count is printed beside it for information.
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
  *) sed -n '10,11p' "$0" | sed 's/^# //' >&2; exit 2 ;;
esac

scripts/install-deps.sh build guard
echo "-- guard: building oxbuild and bench_generate in build-bench" >&2
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
if ! cmake --build build-bench -j"$(nproc)" --target oxbuild bench_generate > build-bench/guard.log 2>&1; then
  cat build-bench/guard.log >&2
  exit 1
fi
oxbuild=$PWD/build-bench/oxbuild
out=$PWD/bench/out/guard
rm -rf "$out" && mkdir -p "$out"

# Sums callgrind's self cost of the functions in one object ("ob=" names it,
# "(n)" stands for a name given before) and of every object; the cost line
# after a "calls=" line is a call's inclusive cost and is skipped. Prints
# "own total".
own_and_total() {  # callgrind output file, the object's path
  awk -v own="$2" '
    function object_id(given,   id, name) {
      id = given; sub(/\).*/, "", id); sub(/^\(/, "", id)
      name = given; if (sub(/^\([0-9]+\) /, "", name)) names[id] = name
      return id
    }
    /^ob=/    { in_own = names[object_id(substr($0, 4))] == own; next }
    /^cob=/   { object_id(substr($0, 5)); next }
    /^calls=/ { after_call = 1; next }
    /^[0-9+*-]/ {
      if (after_call) { after_call = 0; next }
      total += $2; if (in_own) mine += $2
    }
    END { printf "%d %d\n", mine, total }' "$1"
}

# Prints "name own total" for one compilation in its folder; the source is
# named relative to it. The variables that change what oxbuild does are
# cleared. A compilation that does not create its module stops the guard.
count() {  # name, folder, source
  echo "-- guard: counting $1" >&2
  local profile=$out/callgrind.out
  (cd "$2" && env -u OXBUILD_MESSAGES -u OXBUILD_DEPFILE \
     valgrind --tool=callgrind --callgrind-out-file="$profile" "$oxbuild" "$3" > /dev/null 2>&1) || true
  if [ ! -s "$profile" ] || [ ! -f "$2/${3%.oxs}.oxb" ]; then
    echo "guard: $1 did not compile" >&2
    exit 1
  fi
  echo "$1 $(own_and_total "$profile" "$oxbuild")"
  rm -f "$profile"
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
  echo "$counts" | cut -d' ' -f1,2
  exit 0
fi

# Each count against its figure; a name without a figure fails too.
awk -v tolerance="$tolerance_percent" '
  NR == FNR { if ($0 !~ /^#/ && NF == 2) stored[$1] = $2; next }
  {
    name = $1; now = $2; whole = $3
    if (!(name in stored)) { printf "%-10s %12s %12s %8s %14d  no stored figure\n", name, "-", now, "", whole; failed = 1; next }
    change = (now - stored[name]) * 100 / stored[name]
    verdict = change > tolerance ? "  more than " tolerance "% above: FAILED" : ""
    if (verdict != "") failed = 1
    printf "%-10s %12d %12d %+7.2f%% %14d%s\n", name, stored[name], now, change, whole, verdict
  }
  BEGIN { printf "%-10s %12s %12s %8s %14s\n", "what", "stored", "now", "change", "whole process" }
  END {
    if (failed) { print "guard: FAILED (a figure changes only in a commit that says why: bench/guard.sh --print)"; exit 1 }
    print "guard: every count within " tolerance "% of its figure"
  }' "$figures" <(echo "$counts")
