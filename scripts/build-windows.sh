#!/usr/bin/env bash
# Cross-compiles oxbuild.exe, oxdump.exe, oxfmt.exe, oxls.exe (with the same
# header-only JSON library as on Linux) and oxrun.exe for Windows with MinGW-w64,
# linked statically. With --tests the test suite is built as well (with
# GoogleTest from Debian's sources), run through Wine by ctest.
# Usage: scripts/build-windows.sh [--tests] [build-dir] [jobs]
# Then: cpack --config <build-dir>/CPackConfig.cmake makes the zip.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
if [ "${1:-}" = "--tests" ]; then
  tests=ON
  shift
fi
build="${1:-build-windows}"
jobs="${2:-$(nproc)}"
scripts/install-deps.sh windows
options=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS="$tests")
if [ "$tests" = ON ]; then
  emulator=/usr/lib/wine/wine64  # wine's wrapper script asks for the 32-bit part on every run
  [ -x "$emulator" ] || emulator="$(command -v wine)"
  options+=(-DOXBUILD_GTEST_SOURCE_DIR=/usr/src/googletest -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator")
fi
cmake -S . -B "$build" "${options[@]}" > /dev/null
cmake --build "$build" -j"$jobs"
