#!/usr/bin/env bash
# Benchmark of vorn/unvorn against the usual general-purpose compressors.
#
#   bench/run.sh            (from anywhere; takes several minutes)
#
# Builds the programs in release mode (build-bench/), prepares the inputs,
# then compresses and decompresses every input with every tool, the tools
# taking turns within each repetition so that a slow spell of this shared
# machine falls on all of them alike. Every restored output is compared
# byte for byte with its input. Prints one Markdown table of medians: bits
# per byte; speeds in MB/s (10^6 bytes of the original per second) by wall
# time (whole process, start to exit, as a user waits) and by processor time
# (user + system, summed over all threads); each speed as a ratio to
# bzip2 -9 (compressing) or bzip2 -d (restoring), paired by repetition; and
# the peak resident memory (the largest seen in any run).
#
# Tools: vorn/unvorn as they run by default and pinned to one processor
# (taskset -c 0); single-thread peers bzip2 -9, bzip3 -j 1, xz -9 -T1,
# zstd -19 --single-thread, gzip -9 (and brotli -q 11 where installed);
# two-thread peers lbzip2 -n 2 and bzip3 -j 2.
#
# Inputs: the 13 files of the sample corpus (summed into one row), a tar of
# the corpus, the first 1 KiB of a text (start-up cost; its speeds are shown
# as milliseconds per run), and the kinds of data an archive holds besides
# text: the first 40 MB of tars of /usr/include (source), /usr/bin
# (binaries) and /usr/share/doc (mostly files compressed already), 20 MB of
# random bytes, and 1 MiB of random bytes repeated 20 times (a file stored
# many times over, as in a backup). The random inputs are seeded
# (bench/datagen.cpp), so every run and machine sees the same bytes.
#
# Environment: CORPUS, the corpus folder (default ../shared/corpus beside the
# repository); REPS (default 5) repetitions for the corpus inputs, REPS_LARGE
# (default 5) for the large inputs, REPS_SMALL (default 11) for the 1 KiB one;
# xz -9, zstd -19 and brotli (about 1 MB/s) run once per input except the
# 1 KiB one, unless SLOW_REPS is set; BENCH_TOOLS to run a subset by first
# word, e.g. BENCH_TOOLS="vorn bzip2" (both vorn rows and bzip2 -9);
# BENCH_WORK, the scratch folder (default /tmp/vorn-bench.PID, removed at
# the end).
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${CORPUS:-$root/../shared/corpus}
if [ ! -f "$corpus/alice29.txt" ]; then
  echo "no corpus at $corpus (set CORPUS to its folder)" >&2
  exit 1
fi
corpus=$(cd "$corpus" && pwd)
work=${BENCH_WORK:-/tmp/vorn-bench.$$}
reps=${REPS:-5}
reps_large=${REPS_LARGE:-5}
reps_small=${REPS_SMALL:-11}
large_cap=40000000

# ---- tools -------------------------------------------------------------

need=()
command -v bzip2 >/dev/null || need+=(bzip2)
command -v lbzip2 >/dev/null || need+=(lbzip2)
command -v bzip3 >/dev/null || need+=(bzip3)
command -v xz >/dev/null || need+=(xz-utils)
command -v zstd >/dev/null || need+=(zstd)
command -v gzip >/dev/null || need+=(gzip)
command -v taskset >/dev/null || need+=(util-linux)
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
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DVORN_TESTS=OFF -DVORN_BENCH=ON >/dev/null
cmake --build "$root/build-bench" --target vorn unvorn datagen bench_model -j 2 >/dev/null
bin=$root/build-bench/programs

# The pinned rows run on the first processor this script may use (0 on an
# unrestricted machine), so vorn and unvorn see one processor and run as the
# single-thread programs.
pin=$(taskset -pc $$ | sed 's/.*: *//; s/[-,].*//')

# name | compress command | decompress command (stdin to stdout). The name's
# first word is what BENCH_TOOLS selects by.
tools=(
  "vorn|$bin/vorn|$bin/unvorn"
  "vorn taskset -c $pin|taskset -c $pin $bin/vorn|taskset -c $pin $bin/unvorn"
  "bzip2 -9|bzip2 -9 -c|bzip2 -d -c"
  "lbzip2 -n 2|lbzip2 -n 2 -9 -c|lbzip2 -n 2 -d -c"
  "bzip3 -j 1|bzip3 -e -c -j 1|bzip3 -d -c -j 1"
  "bzip3 -j 2|bzip3 -e -c -j 2|bzip3 -d -c -j 2"
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
slowrun=""
for t in "${tools[@]}"; do
  if [[ " $slowtools " == *" ${t%%[ |]*} "* ]]; then slowrun+="${slowrun:+, }${t%%|*}"; fi
done

# ---- inputs ------------------------------------------------------------

mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
tar -cf "$work/corpus.tar" --sort=name -C "$corpus/.." "$(basename "$corpus")"
for dir in include bin share/doc; do
  tar -cf - --sort=name -C /usr "$dir" 2>/dev/null | head -c "$large_cap" >"$work/${dir##*/}.tar" || true
done
"$root/build-bench/bench/datagen" random 20000000 1 >"$work/random"
"$root/build-bench/bench/datagen" repeat $((20 * 1048576)) 1048576 2 >"$work/repeated"
head -c 1024 "$corpus/alice29.txt" >"$work/small1k"
corpusfiles=("$corpus"/*)

# ---- measuring ---------------------------------------------------------

# Results: key "input|tool" -> space-separated "repetition:value" pairs, so
# that a tool's run can be set against bzip2's run of the same repetition.
# cwall/cproc: compressing, wall/processor microseconds; dwall/dproc: the
# same restoring.
declare -A cwall cproc dwall dproc csize rssc rssd origsize

# Wall time of a run is taken from just before the process starts to just
# after it has exited, so it counts start-up, every thread and the wait for
# the output to be written; a two-thread program gains there and nowhere
# else. Processor time sums user and system time over all threads, so it
# shows what the second thread costs. Both carry the same small overhead of
# the measuring wrapper for every tool (see the empty program's line below
# the table).
wall_now() { local t=${EPOCHREALTIME/[.,]/}; echo "$t"; }

# runone CMD IN OUT: runs CMD <IN >OUT; sets wall_us (elapsed microseconds),
# cpu_us (user plus system, microseconds) and rss_kb (peak resident set).
runone() {
  local cmd=$1 in=$2 out=$3 u s t0 t1 TIMEFORMAT="%3U %3S"
  t0=${EPOCHREALTIME/[.,]/}
  # shellcheck disable=SC2086
  if ! { time /usr/bin/time -f %M -o "$work/rss" $cmd <"$in" >"$out" 2>/dev/null; } 2>"$work/cpu"; then
    echo "FAILED: $cmd <$in" >&2
    exit 1
  fi
  t1=${EPOCHREALTIME/[.,]/}
  wall_us=$((t1 - t0))
  read -r u s <"$work/cpu"
  cpu_us=$((10#${u/./} * 1000 + 10#${s/./} * 1000))
  # A run too short to be measured counts as half a millisecond.
  if ((cpu_us == 0)); then cpu_us=500; fi
  rss_kb=$(tail -n 1 "$work/rss")
}

# measure INPUTNAME REP FILE...: one repetition of every tool over the files
# (their times and sizes summed, peak memory the largest).
measure() {
  local name=$1 rep=$2
  shift 2
  local t name_t ccmd dcmd f ctw ctp dtw dtp sz rc rd key n=${#tools[@]} i
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
    ctw=0 ctp=0 dtw=0 dtp=0 sz=0 rc=0 rd=0
    for f in "$@"; do
      runone "$ccmd" "$f" "$work/c"
      ctw=$((ctw + wall_us)) ctp=$((ctp + cpu_us))
      if ((rss_kb > rc)); then rc=$rss_kb; fi
      sz=$((sz + $(stat -c %s "$work/c")))
      runone "$dcmd" "$work/c" "$work/d"
      dtw=$((dtw + wall_us)) dtp=$((dtp + cpu_us))
      if ((rss_kb > rd)); then rd=$rss_kb; fi
      if ! cmp -s "$f" "$work/d"; then
        echo "MISMATCH: $name_t did not restore $f" >&2
        exit 1
      fi
    done
    key="$name|$name_t"
    cwall[$key]+="$rep:$ctw "
    cproc[$key]+="$rep:$ctp "
    dwall[$key]+="$rep:$dtw "
    dproc[$key]+="$rep:$dtp "
    csize[$key]=$sz
    if [ "${rssc[$key]:-0}" -lt "$rc" ]; then rssc[$key]=$rc; fi
    if [ "${rssd[$key]:-0}" -lt "$rd" ]; then rssd[$key]=$rd; fi
  done
}

total_size() { local s=0 f; for f in "$@"; do s=$((s + $(stat -c %s "$f"))); done; echo $s; }

# The large inputs: row name and file.
large=(
  "/usr/include tar|$work/include.tar"
  "/usr/bin tar|$work/bin.tar"
  "/usr/share/doc tar|$work/doc.tar"
  "random 20 MB|$work/random"
  "1 MiB random x 20|$work/repeated"
)
inputs=("1 KiB text" "corpus files (13)" "corpus.tar")
origsize["1 KiB text"]=$(total_size "$work/small1k")
origsize["corpus files (13)"]=$(total_size "${corpusfiles[@]}")
origsize["corpus.tar"]=$(total_size "$work/corpus.tar")
for l in "${large[@]}"; do
  inputs+=("${l%%|*}")
  origsize["${l%%|*}"]=$(total_size "${l#*|}")
done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(wall_now)
floor_w="" floor_p=""
for ((r = 0; r < reps_small; r++)); do
  runone true "$work/small1k" "$work/c"
  floor_w+="$r:$wall_us " floor_p+="$r:$cpu_us "
done
for ((r = 0; r < reps_small; r++)); do measure "1 KiB text" "$r" "$work/small1k"; done
for ((r = 0; r < reps; r++)); do
  echo "repetition $((r + 1))/$reps: corpus ..." >&2
  measure "corpus files (13)" "$r" "${corpusfiles[@]}"
  measure "corpus.tar" "$r" "$work/corpus.tar"
done
for ((r = 0; r < reps_large; r++)); do
  for l in "${large[@]}"; do
    echo "repetition $((r + 1))/$reps_large: ${l%%|*} ..." >&2
    measure "${l%%|*}" "$r" "${l#*|}"
  done
done
elapsed=$((($(wall_now) - started) / 1000000))
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the table ---------------------------------------------------------

# The awk functions below read "repetition:value" lists. med() is the median
# of a list's values; ratio(ref, x) is the median, over the repetitions both
# lists have, of ref's value divided by x's (how many times as fast as the
# reference x was in the same repetition), or "-" without a reference.
awklib='
function load(s, a,   n, i, p, kv) {
  split("", a); n = split(s, p, " ")
  for (i = 1; i <= n; i++) { split(p[i], kv, ":"); a[kv[1]] = kv[2] }
}
function medn(v, n,   i, j, x) {
  for (i = 2; i <= n; i++) { x = v[i]; for (j = i - 1; j >= 1 && v[j] > x; j--) v[j + 1] = v[j]; v[j + 1] = x }
  return (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
function med(s,   a, v, n, k) { load(s, a); n = 0; for (k in a) v[++n] = a[k]; return medn(v, n) }
function ratio(rs, s,   r, a, v, n, k) {
  load(rs, r); load(s, a); n = 0
  for (k in a) if (k in r) v[++n] = r[k] / a[k]
  return n ? sprintf("%.2f", medn(v, n)) : "-"
}
'

echo
echo "vorn benchmark, $(date -u +%Y-%m-%d), $(nproc) processors$(lscpu 2>/dev/null | awk -F: '/^Thread\(s\) per core/ { gsub(/ /, "", $2); print " (hardware threads per core: " $2 ")" }'):" \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(uname -sr)"
echo "repetitions: $reps_small (1 KiB), $reps (corpus), $reps_large (large inputs)$([ -z "${SLOW_REPS:-}" ] && [ -n "$slowrun" ] && echo ", $slowrun once beyond 1 KiB"); medians; run took ${elapsed}s;" \
  "load average before $load_before, after $load_after"
echo "input sizes:$(for inp in "${inputs[@]}"; do printf ' %s %s B;' "$inp" "${origsize[$inp]}"; done) the tars are cut at $large_cap B"
echo
echo "| input | tool | bits/byte | c wall MB/s | c wall × bzip2 -9 | c proc MB/s | c proc × bzip2 -9 | d wall MB/s | d wall × bzip2 -d | d proc MB/s | d proc × bzip2 -d | peak RSS c / d MiB |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for inp in "${inputs[@]}"; do
  ref="$inp|bzip2 -9"
  for t in "${tools[@]}"; do
    tn=${t%%|*}
    key="$inp|$tn"
    awk -v inp="$inp" -v tn="$tn" -v orig="${origsize[$inp]}" -v sz="${csize[$key]}" \
      -v cw="${cwall[$key]}" -v cp="${cproc[$key]}" -v dw="${dwall[$key]}" -v dp="${dproc[$key]}" \
      -v rcw="${cwall[$ref]:-}" -v rcp="${cproc[$ref]:-}" -v rdw="${dwall[$ref]:-}" -v rdp="${dproc[$ref]:-}" \
      -v kc="${rssc[$key]}" -v kd="${rssd[$key]}" "$awklib"'
      function speed(us) { return orig < 100000 ? sprintf("%.1f ms", us / 1000) : sprintf("%.1f", orig / us) }
      BEGIN {
        printf "| %s | %s | %.3f | %s | %s | %s | %s | %s | %s | %s | %s | %.1f / %.1f |\n", inp, tn, 8 * sz / orig,
          speed(med(cw)), ratio(rcw, cw), speed(med(cp)), ratio(rcp, cp),
          speed(med(dw)), ratio(rdw, dw), speed(med(dp)), ratio(rdp, dp), kc / 1024, kd / 1024
      }'
  done
done
echo
echo "c: compressing (vorn), d: restoring (unvorn). wall: MB/s of original bytes per second of"
echo "whole-process elapsed time, start-up to exit, as a user waits; proc: per second of processor"
echo "time (user + system, summed over all threads). Each × is the median, over the repetitions,"
echo "of bzip2's time in the same repetition divided by the tool's. The 1 KiB row gives"
echo "milliseconds per run, start-up included; an empty program (true) measured the same way takes"
echo "$(awk -v w="$floor_w" -v p="$floor_p" "$awklib"'BEGIN { printf "%.1f ms wall, %.1f ms processor", med(w) / 1000, med(p) / 1000 }') on this machine."
echo "Every output was restored and compared byte for byte with its input."

# ---- restoring against the model decoder ---------------------------------

# The model decoder is serial: its own time per byte (bench_model, processor
# time of the decoding alone) is the floor of restoring. Beside it, unvorn's
# wall time per byte, and the two-thread bzip2 that people already run.
echo
echo "Restoring, nanoseconds a byte: the model decoder alone against the whole unvorn (wall), and bzip2"
echo
echo "| input | model decoder | unvorn wall | unvorn / decoder | bzip2 -d wall | lbzip2 -n 2 -d wall |"
echo "|---|---:|---:|---:|---:|---:|"
pipeline=("corpus.tar|$work/corpus.tar" "${large[@]}")
for l in "${pipeline[@]}"; do
  inp=${l%%|*}
  dec=$("$root/build-bench/bench/bench_model" -rounds 3 "${l#*|}" | awk '/ dec / { for (i = 1; i < NF; i++) if ($i == "dec") print $(i + 1) }')
  awk -v inp="$inp" -v orig="${origsize[$inp]}" -v dec="$dec" -v u="${dwall["$inp|vorn"]:-}" \
    -v b="${dwall["$inp|bzip2 -9"]:-}" -v lb="${dwall["$inp|lbzip2 -n 2"]:-}" "$awklib"'
    function ns(us) { return us == "" ? "-" : sprintf("%.1f", med(us) * 1000 / orig) }
    BEGIN {
      d = 1000 / dec
      printf "| %s | %.1f | %s | %s | %s | %s |\n", inp, d, ns(u), u == "" ? "-" : sprintf("%.2f", med(u) * 1000 / orig / d), ns(b), ns(lb)
    }'
done
echo
echo "model decoder: bench_model's symbols per second of processor time on the sorted blocks of the input"
echo "(one symbol a byte, and four a block); the others: whole-process elapsed time per original byte."
