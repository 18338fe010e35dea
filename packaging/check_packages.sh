#!/bin/sh
# The Debian packages, built from the tree as `make package` builds them:
# each holds what it should and carries the one version, a copyright file
# and a changelog; lintian finds no error; and unpacked into a scratch root
# (never into this system), the programs run and a C program builds with
# pkg-config against the library there.
# Usage: check_packages.sh SOURCE_DIR
set -u
src=$1
fail=0
for tool in dpkg-deb dpkg-shlibdeps lintian cc pkg-config; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install dpkg-dev lintian gcc pkg-config)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$src/packaging/build.sh" "$work/build" "$work/debs" >"$work/build.log" 2>&1; then
  tail -30 "$work/build.log"
  echo "the packages do not build"
  exit 1
fi
version=$(sed -n 's/^project(vorn VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")-1
arch=$(dpkg --print-architecture)

# has PACKAGE PATTERN...: fails unless the package holds a file matching each.
has() {
  package=$1
  shift
  for pattern in "$@"; do
    grep -q "$pattern" "$work/$package.files" || { echo "$package lacks $pattern"; fail=1; }
  done
}
for package in vorn libvorn1 libvorn-dev; do
  deb=$work/debs/${package}_${version}_${arch}.deb
  [ -f "$deb" ] || { echo "no package $package of version $version"; ls "$work/debs"; fail=1; continue; }
  dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/$package.files"
  dpkg-deb -f "$deb" Version Depends >"$work/$package.control"
  has "$package" "usr/share/doc/$package/copyright\$" "usr/share/doc/$package/changelog.Debian.gz\$"
  grep -q "^Version: $version\$" "$work/$package.control" || { echo "$package is not of version $version"; fail=1; }
done
has vorn 'usr/bin/vorn$' 'usr/bin/unvorn$' 'man1/vorn.1.gz$' 'man1/unvorn.1.gz$'
has libvorn1 'libvorn.so.1$' "libvorn.so.${version%-1}\$"
has libvorn-dev 'usr/include/vorn.h$' 'libvorn.a$' 'libvorn.so$' 'pkgconfig/vorn.pc$' 'cmake/vorn/vornConfig.cmake$'
if grep -q 'include\|\.a$\|pkgconfig\|cmake' "$work/libvorn1.files"; then
  echo "libvorn1 holds development files"; fail=1
fi
if grep -q 'usr/bin\|libvorn\.so\.' "$work/libvorn-dev.files" || grep -q 'libvorn\|include' "$work/vorn.files"; then
  echo "a package holds another's files"; fail=1
fi
grep -q "Depends: libvorn1 (= $version)" "$work/libvorn-dev.control" || { echo "libvorn-dev does not depend on libvorn1 $version"; fail=1; }
grep -q "libstdc++6" "$work/libvorn1.control" || { echo "libvorn1's dependencies were not found"; cat "$work/libvorn1.control"; fail=1; }

if lintian --tag-display-limit 0 "$work"/debs/*.deb >"$work/lintian.log" 2>&1; [ -n "$(grep '^E:' "$work/lintian.log")" ]; then
  echo "lintian reports errors:"
  grep '^E:' "$work/lintian.log"
  fail=1
fi

# The scratch install.
root=$work/root
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$root"; done
printf 'the packaged programs, round and round\n%.0s' $(seq 200) >"$work/plain"
"$root/usr/bin/vorn" -q "$work/plain" "$work/plain.vn" && "$root/usr/bin/unvorn" -q "$work/plain.vn" "$work/back" &&
  cmp -s "$work/plain" "$work/back" || { echo "the installed programs do not round-trip"; fail=1; }
"$root/usr/bin/unvorn" -tq "$work/plain.vn" || { echo "the installed unvorn -t fails on a good file"; fail=1; }
pcdir=$(dirname "$(find "$root" -name vorn.pc | head -n 1)")
libdir=$(dirname "$pcdir")
# shellcheck disable=SC2046
if cc -std=c99 -Wall -Werror -o "$work/banana" "$src/tests/c/findpackage/main.c" \
     $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs vorn); then
  LD_LIBRARY_PATH=$libdir "$work/banana" || fail=1
  readelf -d "$work/banana" | grep -q 'NEEDED.*libvorn\.so\.1' || { echo "the C program does not use libvorn.so.1"; fail=1; }
else
  echo "a C program does not build against the unpacked library with pkg-config"
  fail=1
fi
exit $fail
