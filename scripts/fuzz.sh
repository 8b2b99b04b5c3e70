#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a bounded time over
# its seed corpus in fuzz/corpus/<target>. Any crash, sanitizer report, leak,
# input taking over one second or broken property ends the run with a
# non-zero status; the input is kept in build-fuzz/artifacts/<target>/.
#
# Usage: scripts/fuzz.sh [seconds per target] [target]...
#   scripts/fuzz.sh                      every target for 30 s (as CI runs it)
#   scripts/fuzz.sh 1800 fuzz_compile    one target for 30 minutes
# FUZZ_JOBS sets the number of parallel fuzzing processes (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

seconds="${1:-30}"
[ $# -gt 0 ] && shift
all_targets=(fuzz_compile fuzz_bitmap fuzz_directives)
[ -f oxdump/CMakeLists.txt ] && all_targets+=(fuzz_oxdump)
[ -f oxls/CMakeLists.txt ] && all_targets+=(fuzz_oxls)
[ -f oxrun/CMakeLists.txt ] && all_targets+=(fuzz_oxrun)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
jobs="${FUZZ_JOBS:-2}"

scripts/install-deps.sh fuzz oxls
build="$root/build-fuzz"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOXBUILD_FUZZ=ON -DOXBUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

# The compiler writes its files in a temporary directory per process.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

run_target() {
  local target="$1"
  local corpus="$build/corpus/$target" logs="$build/logs/$target"
  local artifacts="$build/artifacts/$target/"
  local dict=() max_len=4096 seeds="$root/fuzz/corpus/$target"
  case "$target" in
    fuzz_compile) dict=(-dict="$root/fuzz/compile.dict") ;;
    fuzz_directives) dict=(-dict="$root/fuzz/directives.dict") ;;
    fuzz_bitmap) max_len=8192 ;;
    fuzz_oxdump) max_len=16384 ;;
    fuzz_oxls) max_len=16384; dict=(-dict="$root/fuzz/oxls.dict") ;;
    fuzz_oxrun) max_len=16384; seeds="$root/fuzz/corpus/fuzz_oxdump" ;;  # modules compiled from the compiler's seeds
  esac
  mkdir -p "$corpus" "$artifacts"
  rm -rf "$logs" && mkdir -p "$logs"
  echo "== $target: ${seconds}s, $jobs processes"
  local status=0
  (cd "$logs" && "$build/fuzz/$target" -jobs="$jobs" -workers="$jobs" \
      -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len="$max_len" \
      -print_final_stats=1 -artifact_prefix="$artifacts" "${dict[@]}" \
      "$corpus" "$seeds" > "$logs/parent.log" 2>&1) || status=$?
  local runs=0
  for log in "$logs"/fuzz-*.log; do
    grep -a -h "DONE" "$log" | tail -n 1 || true
    local executed
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    runs=$((runs + ${executed:-0}))
  done
  echo "   executions: $runs"
  if [ "$status" -ne 0 ]; then
    echo "!! $target failed (status $status); inputs kept in $artifacts" >&2
    for log in "$logs"/fuzz-*.log; do
      grep -a -q -E "ERROR|BROKEN PROPERTY|SUMMARY|timeout" "$log" && tail -n 60 "$log" >&2
    done
  fi
  return "$status"
}

failed=0
for target in "${targets[@]}"; do
  run_target "$target" || failed=1
done
exit "$failed"
