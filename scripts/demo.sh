#!/usr/bin/env bash
# Compresses a file with vorn, restores it with unvorn, checks that the
# restored bytes are the original ones and prints the sizes.
# Usage: scripts/demo.sh <folder with vorn and unvorn> <file>
set -euo pipefail
bin=$1
file=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/vorn" "$file" "$work/packed.vn"
"$bin/unvorn" "$work/packed.vn" "$work/restored"
cmp "$file" "$work/restored"

in=$(stat -c %s "$file")
out=$(stat -c %s "$work/packed.vn")
awk -v f="$file" -v i="$in" -v o="$out" 'BEGIN {
  printf "%s: %d bytes -> %d bytes (%.3f bits per byte), restored exactly\n", f, i, o, i ? 8 * o / i : 0 }'
