#!/usr/bin/env bash
# The Windows build under Wine: builds oxbuild.exe, oxdump.exe, oxrun.exe
# and the test suite with MinGW-w64, runs every test under Wine, then
# compiles the example modules with oxbuild.exe and with the Linux oxbuild
# and requires the same bytes, lists them with oxdump.exe and oxdump alike
# (line ends aside) and runs their tests with oxrun.exe. Finally cpack makes
# the zip.
# Usage: scripts/test-windows.sh [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${1:-$(nproc)}"
root="$PWD"
build=build-windows-test
scripts/install-deps.sh build windows

# A Wine prefix of its own, made once; Wine's own messages silenced.
export WINEPREFIX="$PWD/$build/wine-prefix" WINEDEBUG=-all
mkdir -p "$build"
[ -d "$WINEPREFIX/drive_c" ] || wineboot --init > /dev/null 2>&1
# One Wine server for the whole run, kept alive until the end: by default it
# quits a few seconds after its last client, and a test starting just then
# loses its connection ("wine client error ... recvmsg"). Wine's own
# background programs are started here, away from any pipe: started by a
# test, they would hold its output pipe open for as long as the server lives.
wineserver -k 2> /dev/null || true
wineserver -p
wineboot > /dev/null 2>&1
work="$(mktemp -d)"
trap 'wineserver -k 2> /dev/null || true; rm -rf "$work"' EXIT
# A Japanese locale, made here rather than installed, gives Wine code page
# 932 as the system's code page, so that Japanese file names work.
locales="$PWD/$build/locales"
[ -d "$locales/ja_JP.UTF-8" ] || { mkdir -p "$locales" && localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8"; }
japanese=(env LOCPATH="$locales" LC_ALL=ja_JP.UTF-8)

scripts/build-windows.sh --tests "$build" "$jobs"
# Under Wine a test process now and then dies as it starts (the client
# loses its server, or exits at once without a word), one in a few hundred
# runs; such a test is run again, up to three times in all. A test that
# fails in earnest fails again, and the Linux suite has no retries.
"${japanese[@]}" ctest --test-dir "$build" --output-on-failure -j"$jobs" --repeat until-pass:3

# The examples: the same module bytes as the Linux build, the same listing.
cmake -S . -B build-linux-reference -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build-linux-reference -j"$jobs" --target oxbuild oxdump
mkdir "$work/linux" "$work/windows"
for side in linux windows; do
  cp examples/*.oxs examples/*.oxh examples/*.oxt examples/*.trace examples/make_resources.sh "$work/$side/"
  (cd "$work/$side" && sh make_resources.sh)
done
wine="$(grep -o 'CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=.*' "$build/CMakeCache.txt" | cut -d= -f2)"
for example in examples/*.oxs; do
  name="$(basename "$example" .oxs)"
  (cd "$work/linux" && "$root/build-linux-reference/oxbuild" "$name.oxs" > /dev/null)
  (cd "$work/windows" && "${japanese[@]}" "$wine" "$root/$build/oxbuild.exe" "$name.oxs" > /dev/null)
  cmp "$work/linux/$name.oxb" "$work/windows/$name.oxb"
  (cd "$work/linux" && "$root/build-linux-reference/oxdump/oxdump" "$name.oxb") > "$work/$name.linux.txt"
  (cd "$work/windows" && "${japanese[@]}" "$wine" "$root/$build/oxdump/oxdump.exe" "$name.oxb") | tr -d '\r' > "$work/$name.windows.txt"
  diff "$work/$name.linux.txt" "$work/$name.windows.txt"
  echo "windows: $name.oxb the same as on Linux, and listed alike"
done

# The examples' tests under oxrun.exe, against the same expected traces.
(cd "$work/windows" && "${japanese[@]}" "$wine" "$root/$build/oxrun/oxrun.exe" --test . | tr -d '\r')
echo "windows: the examples' tests pass under oxrun.exe"

(cd "$build" && cpack -G ZIP > /dev/null && ls oxbuild-*.zip)
