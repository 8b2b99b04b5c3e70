#!/usr/bin/env bash
# Builds oxbuild (optimised) and compiles the bundled example modules.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build -j"$(nproc)" --target oxbuild
sh examples/make_resources.sh  # the bitmaps and sound that examples/showcase.oxs names
for example in examples/*.oxs; do
  ./build/oxbuild "$example"
done
