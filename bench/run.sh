#!/usr/bin/env bash
# Throughput and memory of oxbuild over generated sources, and its speed
# against a small C compiler.
#   bench/run.sh                 all of the below: realistic at 1, 10 and 50 MB, every
#                                shape at 1 and 10 MB, tcc at 1 and 10 MB, then clock
#   bench/run.sh realistic 50    one shape at one size (MB)
#   bench/run.sh tcc [MB...]     oxbuild against tcc -c, run in turn, on the realistic program written
#                                in both languages (default 1 and 10 MB)
#   bench/run.sh clock           instructions to compile examples/clock.oxs (start-up cost)
# Prints tables on standard output: size, lines, median wall time with min-max,
# MB/s, lines/s, instructions per source byte (by perf where it can count
# them, else by valgrind; CALLGRIND=0 skips valgrind), peak memory. What it
# is doing goes to standard error, one short line per step. Installs what it
# needs: valgrind when it is the counter, tcc for the comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}

usage() {
  sed -n '4,9p' "$0" | sed 's/^# //' >&2
  exit 2
}
is_size() { [[ $1 =~ ^[0-9]+(\.[0-9]+)?$ ]]; }

mode=all
case $# in
  0) ;;
  *)
    case $1 in
      tcc) mode=tcc; for mb in "${@:2}"; do is_size "$mb" || usage; done ;;
      clock) [ $# -eq 1 ] || usage; mode=clock ;;
      *) [ $# -eq 2 ] && is_size "$2" || usage; mode=shape ;;
    esac ;;
esac

say() { echo "-- $*" >&2; }

# Instructions are counted by perf where the machine lets it count them,
# else by valgrind's callgrind (unless CALLGRIND=0).
has_perf() { perf stat -x, -e instructions:u true 2>&1 | grep -q '^[0-9]'; }
counter=none
if has_perf; then
  counter=perf
elif [ "${CALLGRIND:-1}" = 1 ]; then
  counter=valgrind
fi

# valgrind and tcc come with the "bench" need; the rest needs only a compiler.
needs=(build)
if [ "$counter" = valgrind ] || [ "$mode" = tcc ] || [ "$mode" = all ]; then needs+=(bench); fi
scripts/install-deps.sh "${needs[@]}"

# The build's own progress lines, shortened ("-- build 42% lexer/reader.cpp");
# its whole output is kept in build-bench/build.log and shown if it fails.
say "configuring build-bench"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
say "building oxbuild, bench_generate and bench_measure"
build_log=build-bench/build.log
if ! cmake --build build-bench -j"$(nproc)" --target oxbuild bench_generate bench_measure 2>&1 |
    tee "$build_log" |
    sed -nu 's|^\[ *\([0-9]*%\)\] Building CXX object .*\.dir/\(.*\)\.o$|-- build \1 \2|p' >&2; then
  cat "$build_log" >&2
  exit 1
fi
out=bench/out
mkdir -p "$out"

instructions() {  # total user-space instructions of one command, or "-"
  [ "$counter" = none ] || say "counting the instructions of ${1##*/} with $counter"
  if [ "$counter" = perf ]; then
    perf stat -x, -e instructions:u "$@" 2>&1 > /dev/null | awk -F, '/instructions/ {print $1}'
  elif [ "$counter" = valgrind ]; then
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 > /dev/null | awk '/Collected/ {print $4}'
  else
    echo "-"
  fi
}

# Runs two commands in turn RUNS times (A B A B ...), so that a machine whose
# speed drifts moves both alike, and writes a line per pair to the file:
# "seconds_a seconds_b peak_kib_a peak_kib_b status_a status_b".
alternate() {  # file, command A..., --, command B...
  local file=$1; shift
  local a=() b=()
  while [ "$1" != -- ]; do a+=("$1"); shift; done
  shift; b=("$@")
  : > "$file"
  local k ta pa sa tb pb sb
  for ((k = 0; k < RUNS; k++)); do
    read -r ta _ _ pa sa < <(build-bench/bench/bench_measure 1 "${a[@]}")
    read -r tb _ _ pb sb < <(build-bench/bench/bench_measure 1 "${b[@]}")
    echo "$ta $tb $pa $pb $sa $sb" >> "$file"
  done
}

measure() {  # shape, size in MB
  local shape=$1 mb=$2 dir="$out/$1-$2"
  rm -rf "$dir" && mkdir -p "$dir"
  say "$shape, $mb MB: generating"
  build-bench/bench/bench_generate "$shape" "$mb" "$dir"
  local src="$dir/$shape.oxs"
  local bytes lines
  bytes=$(find "$dir" -name '*.oxs' -o -name '*.oxh' | xargs cat | wc -c)
  lines=$(find "$dir" -name '*.oxs' -o -name '*.oxh' | xargs cat | wc -l)
  say "$shape, $mb MB: compiling it $RUNS times"
  read -r median min max peak status < <(build-bench/bench/bench_measure "$RUNS" build-bench/oxbuild "$src")
  local ins
  ins=$(instructions build-bench/oxbuild "$src")
  awk -v shape="$shape" -v bytes="$bytes" -v lines="$lines" -v med="$median" -v min="$min" -v max="$max" \
      -v peak="$peak" -v ins="$ins" -v status="$status" 'BEGIN {
    ipb = (ins == "-" || ins == "") ? "-" : sprintf("%.1f", ins / bytes);
    printf "%-10s %9.2f %10d %8.3f (%.3f-%.3f) %9.1f %12.0f %8s %9.1f %s\n", shape, bytes / 1e6, lines, med, min, max,
           bytes / 1e6 / med, lines / med, ipb, peak / 1024, (status == 0 ? "" : "exit " status) }'
  rm -rf "$dir"
}

shapes_header() {
  printf "%-10s %9s %10s %8s %13s %9s %12s %8s %9s\n" shape MB lines median "(min-max) s" MB/s lines/s ins/B "peak MiB"
}

tcc_header() {
  echo
  echo "oxbuild against tcc -c: the realistic program, the same functions in our language and in C"
  echo "speed ratio = oxbuild speed / tcc speed, each over its own source bytes:"
  echo "  by time = oxbuild MB/s / tcc MB/s;  by ins = tcc ins/B / oxbuild ins/B"
  printf "%-7s %-8s %9s %8s %13s %9s %8s %9s\n" size compiler MB median "(min-max) s" MB/s ins/B "peak MiB"
}

compare_tcc() {  # size in MB
  local mb=$1 dir="$out/tcc-$1"
  rm -rf "$dir" && mkdir -p "$dir"
  say "generating the realistic program, $mb MB, as realistic.oxs and realistic.c"
  build-bench/bench/bench_generate realistic-c "$mb" "$dir"
  local oxs="$dir/realistic.oxs" c="$dir/realistic.c"
  # tcc deletes its output file before writing it, so it gets a file of its
  # own: given /dev/null, it would replace the device when run as root.
  local tcc=(tcc -c "$c" -o "$dir/realistic.o")
  say "compiling each $RUNS times, in turn"
  local pairs="$dir/pairs"
  alternate "$pairs" build-bench/oxbuild "$oxs" -- "${tcc[@]}"
  local ox_ins c_ins
  ox_ins=$(instructions build-bench/oxbuild "$oxs")
  c_ins=$(instructions "${tcc[@]}")
  awk -v mb="$mb" -v ox_bytes="$(wc -c < "$oxs")" -v c_bytes="$(wc -c < "$c")" \
      -v ox_ins="$ox_ins" -v c_ins="$c_ins" '
    function median(v, n,   i, j, t) {  # sorts v[1..n] in place
      for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      return v[int((n + 1) / 2)]
    }
    function row(name, bytes, t, peak, status, ins,   ipb) {  # returns instructions per byte, or 0 when not counted
      ipb = (ins == "-" || ins == "") ? 0 : ins / bytes;
      m = median(t, n);
      printf "%-7s %-8s %9.2f %8.3f (%.3f-%.3f) %9.1f %8s %9.1f%s\n", mb " MB", name, bytes / 1e6, m, t[1], t[n],
             bytes / 1e6 / m, (ipb ? sprintf("%.1f", ipb) : "-"), peak / 1024, (status == 0 ? "" : " exit " status);
      return ipb;
    }
    { n++; a[n] = $1; b[n] = $2; r[n] = (b[n] / c_bytes) / (a[n] / ox_bytes)
      if ($3 > pa) pa = $3; if ($4 > pb) pb = $4; if ($5 != 0) sa = $5; if ($6 != 0) sb = $6 }
    END {
      oi = row("oxbuild", ox_bytes, a, pa, sa, ox_ins);
      ci = row("tcc -c", c_bytes, b, pb, sb, c_ins);
      by_ins = (oi && ci) ? sprintf("%.2fx", ci / oi) : "-";
      printf "%-7s %-8s speed by time %.2fx (the median of the pairs), by ins %s\n", mb " MB", "ratio", median(r, n), by_ins;
    }' "$pairs"
  rm -rf "$dir"
}

clock() {  # the instructions to compile the small example: start-up cost dominates
  local dir="$out/clock"
  rm -rf "$dir" && mkdir -p "$dir"
  cp examples/clock.oxs "$dir/"
  say "compiling examples/clock.oxs $RUNS times"
  local median min max peak status ins
  read -r median min max peak status < <(build-bench/bench/bench_measure "$RUNS" build-bench/oxbuild "$dir/clock.oxs")
  ins=$(instructions build-bench/oxbuild "$dir/clock.oxs")
  echo
  printf "examples/clock.oxs: %d bytes, median %.4f s, %s instructions%s\n" "$(wc -c < examples/clock.oxs)" \
    "$median" "$ins" "$([ "$status" = 0 ] || echo ", exit $status")"
  rm -rf "$dir"
}

case $mode in
  shape)
    shapes_header
    measure "$1" "$2" ;;
  tcc)
    tcc_header
    sizes=("${@:2}")
    [ ${#sizes[@]} -gt 0 ] || sizes=(1 10)
    for mb in "${sizes[@]}"; do compare_tcc "$mb"; done ;;
  clock)
    clock ;;
  all)
    shapes_header
    for mb in 1 10 50; do measure realistic $mb; done
    for shape in functions globals blocks nested defines includes bitmaps waves; do
      measure $shape 1
      measure $shape 10
    done
    tcc_header
    for mb in 1 10; do compare_tcc $mb; done
    clock ;;
esac
