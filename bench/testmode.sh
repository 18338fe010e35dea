#!/usr/bin/env bash
# unvorn -t FILE against unvorn FILE > /dev/null: the integrity test must
# cost no more than restoring to nowhere. Alternates the two, REPS times
# each, and prints the median wall time of both and their ratio.
# Usage: bench/testmode.sh BIN_DIR FILE.vn [REPS]
set -euo pipefail
bin=$1
file=$2
reps=${3:-9}
now() { date +%s%N; }
t=()
r=()
for ((i = 0; i < reps; i++)); do
  a=$(now); "$bin/unvorn" -tq "$file"; b=$(now)
  "$bin/unvorn" -q "$file" >/dev/null; c=$(now)
  t+=($(((b - a) / 1000000)))
  r+=($(((c - b) / 1000000)))
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
mt=$(median "${t[@]}")
mr=$(median "${r[@]}")
awk -v t="$mt" -v r="$mr" -v f="$file" -v n="$reps" 'BEGIN {
  printf "%s, medians of %d: unvorn -t %d ms, unvorn > /dev/null %d ms, ratio %.3f\n", f, n, t, r, t / r }'
