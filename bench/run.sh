#!/usr/bin/env bash
# Benchmark of vorn/unvorn against the usual general-purpose compressors.
#
#   bench/run.sh            (from anywhere; takes a few minutes)
#
# Builds the programs in release mode (build-bench/), prepares the inputs,
# then compresses and decompresses every input with every tool, the tools
# taking turns within each repetition so that a slow spell of this shared
# machine falls on all of them alike. Every restored output is compared
# byte for byte with its input. Prints one Markdown table of medians:
# bits per byte, speeds in MB/s (10^6 bytes of the original per second of
# processor time, one thread), each speed as a ratio to bzip2 -9 measured in the
# same run, and the peak resident memory (the largest seen in any run).
#
# Inputs: the 13 files of the sample corpus (summed into one row), a tar of
# the corpus, a tar of /usr/include capped at 36 MiB, and the first 1 KiB of
# a text (start-up cost; its speeds are shown as milliseconds per run).
#
# Environment: REPS (default 3) repetitions for the corpus inputs, REPS_LARGE
# (default 2) for the large input, REPS_SMALL (default 11) for the 1 KiB one;
# xz -9 and zstd -19 (about 1 MB/s) run once per input except the 1 KiB one,
# unless SLOW_REPS is set; BENCH_TOOLS to run a subset, e.g.
# BENCH_TOOLS="vorn bzip2".
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=$root/../shared/corpus
work=${BENCH_WORK:-/tmp/vorn-bench.$$}
reps=${REPS:-3}
reps_large=${REPS_LARGE:-2}
reps_small=${REPS_SMALL:-11}
large_cap=$((36 * 1024 * 1024))

# ---- tools -------------------------------------------------------------

need=()
command -v bzip2 >/dev/null || need+=(bzip2)
command -v bzip3 >/dev/null || need+=(bzip3)
command -v xz >/dev/null || need+=(xz-utils)
command -v zstd >/dev/null || need+=(zstd)
command -v gzip >/dev/null || need+=(gzip)
[ -x /usr/bin/time ] || need+=(time)
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2
  apt-get install -y -q "${need[@]}" >&2
fi

echo "building release programs in build-bench/ ..." >&2
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DVORN_TESTS=OFF -DVORN_BENCH=OFF >/dev/null
cmake --build "$root/build-bench" --target vorn unvorn -j 2 >/dev/null
bin=$root/build-bench/programs

# name | compress command | decompress command (stdin to stdout)
tools=(
  "vorn|$bin/vorn|$bin/unvorn"
  "bzip2 -9|bzip2 -9 -c|bzip2 -d -c"
  "bzip3|bzip3 -e -c -j 1|bzip3 -d -c -j 1"
  "xz -9|xz -9 -T1 -c|xz -d -T1 -c"
  "zstd -19|zstd -19 --single-thread -q -c|zstd -d -q -c"
  "gzip -9|gzip -9 -c|gzip -d -c"
)
slowtools="xz zstd brotli"
command -v brotli >/dev/null && tools+=("brotli -q 11|brotli -q 11 -c|brotli -d -c")
if [ -n "${BENCH_TOOLS:-}" ]; then
  keep=()
  for t in "${tools[@]}"; do
    for want in $BENCH_TOOLS; do [ "${t%%[ |]*}" = "$want" ] && keep+=("$t"); done
  done
  tools=("${keep[@]}")
fi

# ---- inputs ------------------------------------------------------------

mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
tar -cf "$work/corpus.tar" --sort=name -C "$corpus/.." "$(basename "$corpus")"
tar -cf - --sort=name -C /usr include 2>/dev/null | head -c "$large_cap" >"$work/include.tar" || true
head -c 1024 "$corpus/alice29.txt" >"$work/small1k"
corpusfiles=("$corpus"/*)

# ---- measuring ---------------------------------------------------------

# Results: key "input|tool" -> space-separated per-repetition values.
declare -A csec dsec csize rssc rssd origsize


# runone CMD IN OUT: runs CMD <IN >OUT; sets el_us (processor time, user
# plus system, in microseconds) and rss_kb (peak resident set). Processor
# time, not wall time: on a machine shared with other work a single-threaded
# program's wall time mostly measures the neighbours.
runone() {
  local cmd=$1 in=$2 out=$3 u s TIMEFORMAT="%3U %3S"
  # shellcheck disable=SC2086
  if ! { time /usr/bin/time -f %M -o "$work/rss" $cmd <"$in" >"$out" 2>/dev/null; } 2>"$work/cpu"; then
    echo "FAILED: $cmd <$in" >&2
    exit 1
  fi
  read -r u s <"$work/cpu"
  el_us=$((10#${u/./} * 1000 + 10#${s/./} * 1000))
  # A run too short to be measured counts as half a millisecond.
  if ((el_us == 0)); then el_us=500; fi
  rss_kb=$(tail -n 1 "$work/rss")
}

# measure INPUTNAME REP FILE...: one repetition of every tool over the files
# (their times and sizes summed, peak memory the largest).
measure() {
  local name=$1 rep=$2
  shift 2
  local t name_t ccmd dcmd f ct dt sz rc rd key n=${#tools[@]} i
  for ((i = 0; i < n; i++)); do
    # Start each repetition with a different tool.
    t=${tools[$(((i + rep) % n))]}
    name_t=${t%%|*}
    # The slowest compressors run once per input beyond the first
    # repetition's worth: each of their runs takes tens of seconds.
    if ((rep > 0)) && [ -z "${SLOW_REPS:-}" ] && [[ " $slowtools " == *" ${name_t%% *} "* ]] && [ "$name" != "1 KiB text" ]; then
      continue
    fi
    ccmd=${t#*|}
    dcmd=${ccmd#*|}
    ccmd=${ccmd%%|*}
    ct=0 dt=0 sz=0 rc=0 rd=0
    for f in "$@"; do
      runone "$ccmd" "$f" "$work/c"
      ct=$((ct + el_us))
      if ((rss_kb > rc)); then rc=$rss_kb; fi
      sz=$((sz + $(stat -c %s "$work/c")))
      runone "$dcmd" "$work/c" "$work/d"
      dt=$((dt + el_us))
      if ((rss_kb > rd)); then rd=$rss_kb; fi
      if ! cmp -s "$f" "$work/d"; then
        echo "MISMATCH: $name_t did not restore $f" >&2
        exit 1
      fi
    done
    key="$name|$name_t"
    csec[$key]+="$ct "
    dsec[$key]+="$dt "
    csize[$key]=$sz
    if [ "${rssc[$key]:-0}" -lt "$rc" ]; then rssc[$key]=$rc; fi
    if [ "${rssd[$key]:-0}" -lt "$rd" ]; then rssd[$key]=$rd; fi
  done
}

total_size() { local s=0 f; for f in "$@"; do s=$((s + $(stat -c %s "$f"))); done; echo $s; }

inputs=("1 KiB text" "corpus files (13)" "corpus.tar" "/usr/include tar")
origsize["1 KiB text"]=$(total_size "$work/small1k")
origsize["corpus files (13)"]=$(total_size "${corpusfiles[@]}")
origsize["corpus.tar"]=$(total_size "$work/corpus.tar")
origsize["/usr/include tar"]=$(total_size "$work/include.tar")

started=${EPOCHREALTIME/./}
floor=""
for ((r = 0; r < reps_small; r++)); do runone true "$work/small1k" "$work/c"; floor+="$el_us "; done
for ((r = 0; r < reps_small; r++)); do measure "1 KiB text" "$r" "$work/small1k"; done
for ((r = 0; r < reps; r++)); do
  echo "repetition $((r + 1))/$reps: corpus ..." >&2
  measure "corpus files (13)" "$r" "${corpusfiles[@]}"
  measure "corpus.tar" "$r" "$work/corpus.tar"
done
for ((r = 0; r < reps_large; r++)); do
  echo "repetition $((r + 1))/$reps_large: /usr/include tar ..." >&2
  measure "/usr/include tar" "$r" "$work/include.tar"
done
now=${EPOCHREALTIME/./}
elapsed=$(((now - started) / 1000000))

# ---- the table ---------------------------------------------------------

median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

echo
echo "vorn benchmark, $(date -u +%Y-%m-%d), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(uname -sr)"
echo "repetitions: $reps_small (1 KiB), $reps (corpus), $reps_large (/usr/include tar), xz/zstd once beyond 1 KiB; medians; run took ${elapsed}s"
echo "input sizes: 1 KiB text ${origsize["1 KiB text"]} B, corpus files ${origsize["corpus files (13)"]} B," \
  "corpus.tar ${origsize["corpus.tar"]} B, /usr/include tar ${origsize["/usr/include tar"]} B (first $((large_cap / 1048576)) MiB)"
echo
echo "| input | tool | bits/byte | compress MB/s | × bzip2 -9 | decompress MB/s | × bzip2 -d | peak RSS c / d MiB |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
for inp in "${inputs[@]}"; do
  orig=${origsize[$inp]}
  refc=$(echo "${csec["$inp|bzip2 -9"]:-}" | median)
  refd=$(echo "${dsec["$inp|bzip2 -9"]:-}" | median)
  for t in "${tools[@]}"; do
    tn=${t%%|*}
    key="$inp|$tn"
    mc=$(echo "${csec[$key]}" | median)
    md=$(echo "${dsec[$key]}" | median)
    awk -v inp="$inp" -v tn="$tn" -v orig="$orig" -v sz="${csize[$key]}" -v mc="$mc" -v md="$md" \
      -v rc="$refc" -v rd="$refd" -v kc="${rssc[$key]}" -v kd="${rssd[$key]}" 'BEGIN {
        small = orig < 100000
        if (small) { cs = sprintf("%.1f ms", mc / 1000); ds = sprintf("%.1f ms", md / 1000) }
        else { cs = sprintf("%.1f", orig / mc); ds = sprintf("%.1f", orig / md) }
        xc = rc != "" ? sprintf("%.2f", rc / mc) : "-"
        xd = rd != "" ? sprintf("%.2f", rd / md) : "-"
        printf "| %s | %s | %.3f | %s | %s | %s | %s | %.1f / %.1f |\n", inp, tn, 8 * sz / orig, cs, xc, ds, xd, kc / 1024, kd / 1024
      }'
  done
done
echo
echo "Speeds: MB/s of original bytes per second of processor time (user + system), single-threaded;"
echo "the 1 KiB row gives milliseconds of processor time per run, start-up included; an empty"
echo "program (true) measured the same way takes $(echo "$floor" | median | awk '{printf "%.1f", $1 / 1000}') ms on this machine."
echo "Every output was restored and compared byte for byte with its input."
