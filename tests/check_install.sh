#!/bin/sh
# The installed library, as a C user meets it: `cmake --install` into a
# temporary prefix, then
#  - tests/c/check_vorn.c built with cc -std=c99 -pedantic and the flags of
#    the installed vorn.pc, linked to libvorn.so.1 and run on the golden
#    streams;
#  - libvorn.so.1 exports vorn_* alone and carries that soname;
#  - libvorn.a defines no global symbol but vorn_*;
#  - vorn.pc, the shared library's file name, the CMake package and
#    vorn_version() carry the one version;
#  - tests/c/findpackage, a C project, built through find_package(vorn)
#    against both libraries and run.
# Usage: check_install.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
fail=0

for tool in cc pkg-config readelf nm cmake; do
  if ! command -v "$tool" >/dev/null; then
    case $tool in
      cc) pkg="gcc" ;;
      pkg-config) pkg="pkgconf" ;;
      readelf | nm) pkg="binutils" ;;
      *) pkg="cmake" ;;
    esac
    echo "$tool is not installed (apt-get install $pkg)"
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "cmake --install failed"
  exit 1
fi

# The library folder is wherever vorn.pc went: lib, lib64 or a multiarch
# lib/<triplet>.
pc=$(find "$prefix" -path '*/pkgconfig/vorn.pc' | head -n 1)
if [ -z "$pc" ]; then
  echo "vorn.pc is not installed under $prefix"
  exit 1
fi
pcdir=$(dirname "$pc")
libdir=$(dirname "$pcdir")
so=$libdir/libvorn.so.1
for f in "$so" "$libdir/libvorn.a" "$prefix/include/vorn.h"; do
  [ -e "$f" ] || { echo "${f#"$prefix"/} is not installed"; fail=1; }
done
[ $fail -eq 0 ] || exit 1

# vorn.pc finds the prefix from where it lies, wherever the tree was put.
if ! flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs vorn); then
  echo "pkg-config cannot read $pc"
  exit 1
fi

# The one version, as vorn.pc gives it: the shared library's file and the
# CMake package's version file carry it too.
version=$(PKG_CONFIG_PATH=$pcdir pkg-config --modversion vorn)
[ -e "$libdir/libvorn.so.$version" ] || { echo "libvorn.so.$version is not installed (vorn.pc: $version)"; fail=1; }
grep -q "PACKAGE_VERSION \"$version\"" "$libdir/cmake/vorn/vornConfigVersion.cmake" ||
  { echo "the CMake package's version is not $version"; fail=1; }

needs() {  # needs BINARY: fails unless BINARY needs libvorn.so.1
  if ! readelf -d "$1" | grep -q 'NEEDED.*\[libvorn\.so\.1\]'; then
    echo "$(basename "$1") does not need libvorn.so.1:"
    readelf -d "$1" | grep NEEDED
    fail=1
  fi
}

# $flags is split into words on purpose: it holds several options.
# shellcheck disable=SC2086
if cc -std=c99 -Wall -Wextra -pedantic -Werror -O2 -I "$src" -o "$work/check_vorn" "$src/tests/c/check_vorn.c" $flags -pthread; then
  needs "$work/check_vorn"
  LD_LIBRARY_PATH=$libdir "$work/check_vorn" "$src/tests/data/golden" || fail=1
else
  echo "check_vorn.c does not build against the installed vorn.h and vorn.pc (flags: $flags)"
  fail=1
fi

others=$(nm -D --defined-only "$so" | awk '{ sub(/@.*/, "", $NF); print $NF }' | grep -v '^vorn_')
if [ -n "$others" ]; then
  echo "libvorn.so.1 exports symbols other than vorn_*:"
  echo "$others"
  fail=1
fi
soname=$(readelf -d "$so" | sed -n 's/.*SONAME.*\[\(.*\)\].*/\1/p')
if [ "$soname" != "libvorn.so.1" ]; then
  echo "libvorn.so.1 has the soname '$soname'"
  fail=1
fi

others=$(nm -g --defined-only "$libdir/libvorn.a" | awk 'NF == 3 { print $3 }' | grep -v '^vorn_')
if [ -n "$others" ]; then
  echo "libvorn.a defines global symbols other than vorn_*:"
  echo "$others" | head -20
  fail=1
fi

if cmake -S "$src/tests/c/findpackage" -B "$work/findpackage" -DCMAKE_PREFIX_PATH="$prefix" \
     -DCMAKE_BUILD_TYPE=Release >"$work/findpackage.log" 2>&1 &&
   cmake --build "$work/findpackage" >>"$work/findpackage.log" 2>&1; then
  needs "$work/findpackage/banana"
  said=$(LD_LIBRARY_PATH=$libdir "$work/findpackage/banana") || fail=1
  echo "$said"
  case $said in
    *"libvorn $(echo "$version" | awk -F. '{ printf "%d.%02d", $1, $2 }')") ;;
    *) echo "vorn_version() does not match vorn.pc's $version"; fail=1 ;;
  esac
  if readelf -d "$work/findpackage/banana_static" | grep -q 'NEEDED.*libvorn'; then
    echo "banana_static needs the shared library"
    fail=1
  fi
  "$work/findpackage/banana_static" || fail=1
else
  cat "$work/findpackage.log"
  echo "the find_package(vorn) project does not build"
  fail=1
fi

exit $fail
