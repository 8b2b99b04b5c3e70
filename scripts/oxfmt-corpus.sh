#!/usr/bin/env bash
# The formatter's promises over every source the project has: the examples,
# the documents' examples, the fuzz corpora, COUNT programs of the
# differential generator (default 5000) and COUNT of its mutated sources
# (the few of them that still compile cleanly count), each with its include
# files. For
# every source that compiles cleanly, the formatted text compiles to the same
# module bytes, formatting it again changes nothing, and its comments are the
# same texts in the same order (tests/oxfmt/corpus_check_main.cpp).
# Usage: scripts/oxfmt-corpus.sh [--built BUILD_DIR] [COUNT]
#   --built: the tools are built in BUILD_DIR already (the test suite's build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-test
built=no
if [[ ${1:-} == --built ]]; then
  build=$2
  built=yes
  shift 2
fi
count=${1:-5000}
if [[ $built == no ]]; then
  scripts/install-deps.sh test
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=ON > /dev/null
  cmake --build "$build" -j2 --target oxfmt_corpus_check difftest_mutate > /dev/null
fi
mutate=$build/tests/difftest/difftest_mutate
check=$build/tests/oxfmt_corpus_check

work=$(mktemp -d "${TMPDIR:-/tmp}/oxfmt-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/examples"
cp examples/*.oxs examples/*.oxh examples/make_resources.sh "$work/examples/"
(cd "$work/examples" && sh make_resources.sh > /dev/null)
# The files the corpora and the generated programs name.
"$mutate" --workspace "$work/workspace"
seed=${OXFMT_CORPUS_SEED:-1}
"$mutate" --seed "$seed" --programs --count "$count" --out "$work/programs"
seeds=(fuzz/corpus/*/* examples/*.oxs)
"$mutate" --seed "$seed" --count "$count" --out "$work/mutated" "${seeds[@]}"
cp examples/*.oxh "$work/workspace/"

corpora=()
for f in fuzz/corpus/fuzz_compile/* fuzz/corpus/fuzz_directives/* fuzz/corpus/fuzz_oxls/*; do
  [[ -f $f ]] && corpora+=("$f")
done
"$check" --docs \
  --in "$work/examples" "$work"/examples/*.oxs "$work"/examples/*.oxh \
  --in "$work/workspace" "${corpora[@]}" "$work"/programs/*.oxs "$work"/mutated/*.oxs
