#!/usr/bin/env bash
# Differential test: compiles the same inputs with a reference oxbuild and a
# new one and reports every source for which standard output, exit status or
# the module file's bytes differ. Usage:
#   scripts/difftest.sh REF_BIN [NEW_BIN] [COUNT]
# NEW_BIN defaults to a fresh optimised build of the working tree in
# build-difftest/ (pass "" to get it and still give COUNT); COUNT (default
# 10000) is the number of mutated and generated sources. The inputs are the
# files under fuzz/corpus/*/, examples/*.oxs and examples/*.oxh as they are,
# COUNT sources made from them by tests/difftest/mutate.cpp (DIFFTEST_SEED,
# default 1, picks them), and every bench/generate.cpp shape at 1 MB.
# Differing inputs, with both outputs and modules, are kept in the folder the
# summary names. Exit status 0 when nothing differs, 1 otherwise.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 3 ]]; then
  echo "usage: scripts/difftest.sh REF_BIN [NEW_BIN] [COUNT]" >&2
  exit 2
fi
# Binaries named relative to where the script was started from.
ref=$(realpath "$1")
new=${2:+$(realpath "$2")}
count=${3:-10000}
seed=${DIFFTEST_SEED:-1}
[[ -x $ref ]] || { echo "difftest: $1 is not an executable" >&2; exit 2; }
cd "$(dirname "$0")/.."
root=$PWD

# The tools, then (unless given) the new compiler, from the working tree.
build=$root/build-difftest
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target difftest_mutate difftest_compare bench_generate > /dev/null
if [[ -z $new ]]; then
  cmake --build "$build" -j2 --target oxbuild > /dev/null
  new=$build/oxbuild
fi
[[ -x $new ]] || { echo "difftest: $new is not an executable" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/difftest.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=$build/failures-$(date +%Y%m%d-%H%M%S)

# The directory every source is compiled in: include files, bitmaps and
# waves that the directives name, and the example's include file.
"$build/tests/difftest/difftest_mutate" --workspace "$work/workspace"
cp examples/*.oxh "$work/workspace/"

# The inputs: the seeds as they are, then the mutated and generated ones.
mkdir -p "$work/cases"
seeds=()
for f in fuzz/corpus/*/* examples/*.oxs examples/*.oxh; do
  [[ -f $f ]] || continue
  seeds+=("$f")
  name=${f//[\/.]/_}
  cp "$f" "$work/cases/seed_$name.oxs"
done
"$build/tests/difftest/difftest_mutate" --seed "$seed" --count "$count" --out "$work/cases" "${seeds[@]}"

export LC_ALL=C
unset OXBUILD_MESSAGES
compare=("$build/tests/difftest/difftest_compare" --ref "$ref" --new "$new" --keep "$failures")

# Every input gets a PASS or FAIL line in the log; the FAIL lines are shown.
show_failures() {
  tee -a "$work/log" | { grep --line-buffered '^FAIL ' || true; }
}

echo "difftest: reference $ref"
echo "difftest: new       $new"
start=$SECONDS
# Two workers, each compiling its cases in a pair of directories of its own.
find "$work/cases" -name '*.oxs' -print0 | sort -z |
  xargs -0 -P2 -n 250 "${compare[@]}" --workspace "$work/workspace" | show_failures || true
total=$(find "$work/cases" -name '*.oxs' | wc -l)

# The benchmark shapes at 1 MB, each in a pair of directories of its own.
shapes=(realistic functions globals blocks nested defines includes bitmaps waves)
for shape in "${shapes[@]}"; do
  mkdir -p "$work/bench/$shape/a"
  "$build/bench/bench_generate" "$shape" 1 "$work/bench/$shape/a" > /dev/null
  cp -al "$work/bench/$shape/a" "$work/bench/$shape/b"  # the inputs are only read
done
printf '%s\n' "${shapes[@]}" |
  xargs -P2 -I{} "${compare[@]}" --timeout 120 --pair "$work/bench/{}/a" "$work/bench/{}/b" {}.oxs bench_{} |
  show_failures || true
total=$((total + ${#shapes[@]}))

passed=$(grep -c '^PASS ' "$work/log" || true)
failed=$(grep -c '^FAIL ' "$work/log" || true)
echo "difftest: $total inputs in $((SECONDS - start)) s"
if [[ $((passed + failed)) -ne $total ]]; then
  # A worker stopped early (its error is above): the rest were not compared.
  echo "difftest: only $((passed + failed)) of $total inputs were compared"
  failed=$((total - passed))
fi
if [[ $failed -gt 0 ]]; then
  # A case's folder holds prog.oxs and its include files; the other files it
  # was compiled with are those of the workspace.
  mkdir -p "$failures"
  cp -r "$work/workspace" "$failures/workspace"
  echo "difftest: differing inputs kept in $failures"
fi
echo "difftest: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
