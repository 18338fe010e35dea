#!/usr/bin/env bash
# The Python module's rows of the benchmark: bench/python_bench.py on the
# corpus tar and 20 MB of random bytes (the inputs of bench/run.sh), with
# the interpreter the build used.
# Usage: bench/python_run.sh BUILD_DIR CORPUS_DIR [REPS]
set -euo pipefail
build=$1
corpus=$2
reps=${3:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
python=$(sed -n 's/^_*Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt" | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target vorn unvorn datagen vorn_python -j 2 >/dev/null
inputs=()
if [ -d "$corpus" ]; then
  tar -cf "$work/corpus.tar" --sort=name -C "$corpus/.." "$(basename "$corpus")"
  inputs+=("$work/corpus.tar")
else
  echo "corpus folder $corpus not found: the corpus tar is left out"
fi
"$build/bench/datagen" random 20000000 1 >"$work/random"
inputs+=("$work/random")
"$python" "$root/bench/python_bench.py" "$build/programs" "$build/python" "$reps" "${inputs[@]}"
