# The median processor time (user and system) of RUNS runs of a command, in
# milliseconds: steadier than wall time on a machine that others share.
# Sourced by the benchmarks that time programs.
median_ms() {
  local times=()
  for ((k = 0; k < RUNS; k++)); do
    local TIMEFORMAT='%3U %3S' spent
    spent=$({ time "$@" > /dev/null; } 2>&1)
    times+=($(awk -v t="$spent" 'BEGIN { split(t, p, " "); printf "%d", (p[1] + p[2]) * 1000 }'))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p"
}
