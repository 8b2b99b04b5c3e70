#!/usr/bin/env bash
# Builds oxbuild with its test suite and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=ON > /dev/null
cmake --build build-test -j"$(nproc)"
ctest --test-dir build-test --output-on-failure -j"$(nproc)"
