#!/usr/bin/env bash
# Builds oxbuild and its test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (any finding aborts) and runs every test.
# Usage: scripts/test-sanitized.sh [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${1:-$(nproc)}"
scripts/install-deps.sh test
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXBUILD_TESTS=ON -DOXBUILD_SANITIZE=ON > /dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
