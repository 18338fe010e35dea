#!/bin/sh
# The manual pages: render without a warning, hold the sections a reader
# looks for, name every option that --help lists, and are installed by
# `cmake --install` under share/man/man1.
# Usage: check_manpages.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
fail=0
command -v man >/dev/null || { echo "man is not installed (apt-get install man-db groff-base)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for prog in vorn unvorn; do
  page=$src/man/$prog.1
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >"$work/$prog.txt")
  if [ -n "$warnings" ]; then
    echo "$prog.1 renders with warnings:"; echo "$warnings"; fail=1
  fi
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -q "^$section\$" "$work/$prog.txt" || { echo "$prog.1 lacks the section $section"; fail=1; }
  done
  for option in $("$build/programs/$prog" --help | grep -o -- '--[a-z]*'); do
    grep -q -- "$option" "$work/$prog.txt" || { echo "$prog.1 does not describe $option"; fail=1; }
  done
done
grep -q "tar -I vorn" "$work/vorn.txt" || { echo "vorn.1 lacks the tar example"; fail=1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail=1; }
for prog in vorn unvorn; do
  gzip -dc "$work/prefix/share/man/man1/$prog.1.gz" 2>/dev/null | cmp -s "$src/man/$prog.1" - ||
    { echo "$prog.1 is not installed in share/man/man1 (compressed)"; fail=1; }
  [ -x "$work/prefix/bin/$prog" ] || { echo "$prog is not installed in bin"; fail=1; }
done
exit $fail
