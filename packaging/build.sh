#!/bin/sh
# Builds the three Debian packages from the source tree into OUT_DIR:
# a build of its own with the prefix /usr and programs that link the
# system's libraries, then CPack.
# Usage: packaging/build.sh BUILD_DIR OUT_DIR
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build=$1
out=$2
mkdir -p "$out"
out=$(cd "$out" && pwd)
cmake -S "$src" -B "$build" --log-level=WARNING -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVORN_STATIC=OFF -DVORN_TESTS=OFF -DVORN_BENCH=OFF -DVORN_PYTHON=OFF
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target vorn unvorn vorn_shared vorn_static
(cd "$build" && cpack -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
