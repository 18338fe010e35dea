#!/usr/bin/env bash
# Fuzzing for CI: builds the libFuzzer targets with clang (installing clang
# from the distribution when it is missing), replays the saved corpus under
# their sanitizers, then fuzzes each target for a bounded time starting from
# that corpus. Any finding fails the run and its input is printed in hex.
#
# Without a working clang the fuzzing is skipped with a message; the saved
# corpus is still replayed by the ordinary test runs (the *_corpus CTest
# tests, built with g++ and with g++ and the sanitizers).
#
# VORN_FUZZ_SECONDS: time per target (default 60); VORN_FUZZ_BUILD: build
# folder (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

secs=${VORN_FUZZ_SECONDS:-60}
build=${VORN_FUZZ_BUILD:-build-fuzz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Whether clang++ can build and link a libFuzzer program with sanitizers.
fuzzer_works() {
  command -v clang++ >/dev/null || return 1
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$work/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$work/probe.cpp" -o "$work/probe" >/dev/null 2>&1
}

if ! fuzzer_works; then
  echo "fuzz: installing clang"
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -q && apt-get install -y -q clang; } >"$work/apt.log" 2>&1 || true
  if ! fuzzer_works && command -v clang++ >/dev/null; then
    # The fuzzer runtime comes in a package of its own on some releases.
    major=$(clang++ -dumpversion | cut -d. -f1)
    apt-get install -y -q "libclang-rt-$major-dev" >>"$work/apt.log" 2>&1 || true
  fi
fi
if ! fuzzer_works; then
  echo "fuzz: SKIPPED - clang with libFuzzer is not available (see apt output below);"
  echo "fuzz: the saved corpus was replayed by the g++ and sanitizer test runs."
  tail -5 "$work/apt.log" 2>/dev/null || true
  exit 0
fi

echo "fuzz: building the targets with $(clang++ --version | head -1)"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORN_FUZZ=ON -DVORN_TESTS=OFF -DVORN_BENCH=OFF >"$work/cmake.log" || { cat "$work/cmake.log"; exit 1; }
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >"$work/build.log" 2>&1 || { tail -40 "$work/build.log"; exit 1; }

targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')

echo "fuzz: replaying the saved corpus under the sanitizers"
for t in $targets; do
  "$build/fuzz/${t}_replay" "fuzz/corpus/$t" >"$work/$t.replay.log" 2>&1 || {
    echo "fuzz: FINDING while replaying the corpus of $t"
    tail -40 "$work/$t.replay.log"
    exit 1
  }
  echo "  $t: $(tail -1 "$work/$t.replay.log")"
done

failed=0
for t in $targets; do
  mkdir -p "$work/$t" "$work/$t.artifacts"
  echo "fuzz: $t for ${secs}s"
  if "$build/fuzz/$t" -max_total_time="$secs" -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$work/$t.artifacts/" "$work/$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$t.log" | sed 's/^/  /'
    grep -E '^#[0-9]+.*(DONE|pulse)' "$work/$t.log" | tail -1 | sed 's/^/  /'
  else
    failed=1
    echo "fuzz: FINDING in $t"
    tail -60 "$work/$t.log"
    for f in "$work/$t.artifacts"/*; do
      [ -f "$f" ] || continue
      echo "  input $(basename "$f") ($(wc -c <"$f") bytes):"
      od -An -tx1 -v "$f" | head -40
    done
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: findings above; save each input under fuzz/corpus/<target>/ once fixed"
  exit 1
fi
echo "fuzz: no finding"
