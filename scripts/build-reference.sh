#!/usr/bin/env bash
# Builds oxbuild as it is at COMMIT (default 9d02245) into
# build-ref/<commit>/ and prints the binary's path on standard output; build
# output goes to standard error. Does nothing but print the path when that
# commit's binary is already there. Usage:
#   scripts/build-reference.sh [COMMIT]
set -euo pipefail
cd "$(dirname "$0")/.."

commit=$(git rev-parse --verify --quiet "${1:-9d02245}^{commit}") || {
  echo "build-reference.sh: no such commit: ${1:-9d02245}" >&2
  exit 2
}
dir="$PWD/build-ref/${commit:0:12}"
binary="$dir/build/oxbuild"

# The stamp is written last, so that an interrupted build is redone.
if [[ -x $binary && -f $dir/built ]]; then
  echo "$binary"
  exit 0
fi

rm -rf "$dir"
mkdir -p "$dir/src"
git archive "$commit" | tar -x -C "$dir/src"
{
  cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF
  cmake --build "$dir/build" -j2 --target oxbuild
} >&2
echo "$commit" > "$dir/built"
echo "$binary"
