#!/usr/bin/env bash
# Semantic differential test: random programs over the whole language
# (tests/difftest/semantic.cpp), each also written in C. The module source
# runs under oxrun, which passes its values to the model host through
# MessageBeep; the C program, compiled by gcc with -fwrapv, prints the same
# values. Every value must agree. Usage:
#   scripts/semantic-difftest.sh [COUNT] [SEED]
# COUNT programs (default 3000) from SEED (default 1), in batches of 250.
# Differing programs are kept in the folder the summary names. Exit status
# 0 when all agree, 1 otherwise.
set -euo pipefail
count=${1:-3000}
seed=${2:-1}
batch=250
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-semantic
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target oxrun semantic_gen > /dev/null
oxrun=$build/oxrun/oxrun
work=$(mktemp -d "${TMPDIR:-/tmp}/semantic.XXXXXX")
kept=$root/build-semantic/differences
rm -rf "$kept"
failed=0 values=0
for ((first = 0; first < count; first += batch)); do
  n=$((count - first < batch ? count - first : batch))
  dir=$work/$first
  mkdir -p "$dir"
  "$build/tests/difftest/semantic_gen" "$seed" "$first" "$n" "$dir"
  gcc -O1 -fwrapv -w -o "$dir/batch" "$dir/batch.c"
  "$dir/batch" > "$dir/c.out"
  for ((k = first; k < first + n; k++)); do printf 'program p%d.oxs\n' "$k" > "$dir/p$k.oxt"; done
  "$oxrun" --test --update "$dir" > /dev/null || true
  for ((k = first; k < first + n; k++)); do
    echo "== $k"
    sed -n -e 's/^  MessageBeep(\(.*\))$/\1/p' -e '/runtime error\|^refused/p' "$dir/p$k.trace"
  done > "$dir/oxrun.out"
  # The programs whose values differ, each kept with both outputs.
  while read -r k; do
    failed=$((failed + 1))
    mkdir -p "$kept"
    cp "$dir/p$k.oxs" "$dir/p$k.trace" "$kept/"
    awk -v k="$k" '$0 == "== " k {on = 1; next} /^== / {on = 0} on' "$dir/c.out" > "$kept/p$k.c.out"
  done < <(awk 'FNR == 1 {side++} /^== / {k = $2; seen[k]; next} {v[side, k] = v[side, k] "," $0}
                END {for (k in seen) if (v[1, k] != v[2, k]) print k}' "$dir/c.out" "$dir/oxrun.out" | sort -n)
  values=$((values + $(grep -vc '^== ' "$dir/c.out" || true)))
done
rm -rf "$work"
summary="semantic: $count programs (seed $seed), $values values compared, $failed programs differ"
[ "$failed" -eq 0 ] || summary+="; kept in $kept"
echo "$summary" >&2
echo "semantic: $((count - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
