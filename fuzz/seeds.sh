#!/usr/bin/env bash
# Writes the seed inputs of the fuzz corpus: small texts and binary inputs
# for the round trip, their streams (made by the built vorn) for the
# decompressor and, behind two bytes that choose the cuts, the decoder in
# pieces, and framed blocks for the transform and hash table targets.
# Usage: fuzz/seeds.sh BINDIR [CORPUSDIR]   (BINDIR holds vorn)
set -euo pipefail
bindir=${1:?usage: seeds.sh BINDIR [CORPUSDIR]}
corpus=${2:-$(dirname "$0")/../../shared/corpus}
here=$(cd "$(dirname "$0")" && pwd)
out=$here/corpus
raw=$(mktemp -d)
trap 'rm -rf "$raw"' EXIT

# Inputs: the worked examples, each block-boundary size up to 4 + 1, an
# exact power of two, runs, all byte values, and the starts of corpus files.
printf '' >"$raw/empty"
for s in a ab abc abcd abcde banana; do printf '%s' "$s" >"$raw/$s"; done
head -c 1024 "$corpus/alice29.txt" >"$raw/pow2-1024"
head -c 700 /dev/zero | tr '\0' 'a' >"$raw/run-700"
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)))' >"$raw/allbytes"
python3 -c 'import sys,random; r=random.Random(7); sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(400)))' >"$raw/random-400"
python3 -c 'import sys; sys.stdout.buffer.write(b"ab"*300 + b"abc"*200 + bytes([0,255])*100)' >"$raw/periodic"
for f in fields.c grammar.lsp xargs.1 cp.html kennedy.xls ptt5 sum; do
  head -c 600 "$corpus/$f" >"$raw/head-$f"
done
head -c 3000 "$corpus/alice29.txt" >"$raw/text-3000"

mkdir -p "$out/fuzz_roundtrip" "$out/fuzz_decompress" "$out/fuzz_decoder" "$out/fuzz_unsorttrans" "$out/fuzz_hash2"
i=0
for f in "$raw"/*; do
  name=$(basename "$f")
  cp "$f" "$out/fuzz_roundtrip/seed-$name"
  "$bindir/vorn" <"$f" >"$out/fuzz_decompress/seed-$name.vn" 2>/dev/null
  # The decoder in pieces: two bytes choosing the cuts, then the stream.
  i=$((i + 1))
  { printf "\\x$(printf %02x $((i * 37 % 256)))\\x$(printf %02x $((i * 91 % 256)))"; cat "$out/fuzz_decompress/seed-$name.vn"; } \
    >"$out/fuzz_decoder/seed-$name.vn"
done

# Transform frames: mode byte, four index bytes, then the block (see
# fuzz_unsorttrans.cpp). Mode 0 transforms the block forward first.
for mode in 0 1 2 3 4 5; do
  for f in banana abcde periodic head-fields.c random-400; do
    { printf "\\x$(printf %02x $mode)\\x00\\x00\\x00\\x00"; cat "$raw/$f"; } >"$out/fuzz_unsorttrans/seed-$mode-$f"
  done
done

# Hash table scripts (see fuzz_hash2.cpp): a few inserts and lookups, and
# bulk inserts that split blocks down to span 1 and fill a spill.
python3 - "$out/fuzz_hash2" <<'EOF'
import sys, random
d = sys.argv[1]
r = random.Random(3)
def put(name, b): open(f"{d}/seed-{name}", "wb").write(bytes(b))
small = []
for k in range(40):
    small += [0] + [r.randrange(256) for _ in range(7)]
    small += [1, r.randrange(256)]
put("small", small)
put("bulk-split", [2, 80, 7, 3, 0, 1, 9, 1, 200])
put("bulk-spill", [2, 200, 7, 1, 5, 3, 2, 2, 255, 7, 3, 0])
put("bulk-wide", [2, 100, 200, 0, 1, 2, 3, 4, 5, 6, 7, 3, 3])
put("saturate", [0, 1, 2, 3, 4, 0xFF, 0xFF, 0xFE, 1, 0, 1, 0, 1, 0, 3, 0])
EOF
echo "seeds written to $out"
