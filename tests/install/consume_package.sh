#!/bin/sh
# Stages faultkit as a user gets it, checks what it holds (the license; the
# .deb stripped, its debug information in -dbgsym, no lintian errors; the
# .zip in one folder), runs the installed tool, and builds and runs a
# consumer through the CMake package and an installed example through
# pkg-config.
#   consume_package.sh MODE BUILD WORK CONSUMER_SOURCE CC [TOOLCHAIN_FILE RUNNER]
# MODE install: cmake --install into a fresh prefix (a build for another
# architecture names its toolchain file and emulator); deb: cpack's .deb,
# unpacked with dpkg-deb; zip: cpack's Windows .zip, unpacked, its programs
# run through RUNNER (Wine).
set -eu
mode=$1 build=$2 work=$3 source=$4 cc=$5
toolchain=${6:-} runner=${7:-}
rm -rf "$work"
mkdir -p "$work"

case $mode in
  install)
    cmake --install "$build" --prefix "$work/prefix" >/dev/null
    prefix=$work/prefix ;;
  deb)
    (cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
    deb=$(ls "$work"/package/faultkit_*.deb)
    dpkg-deb -x "$deb" "$work/root"
    prefix=$work/root/usr
    dpkg-deb -x "$work"/package/faultkit-dbgsym_*.ddeb "$work/dbgsym"
    for binary in "$prefix"/bin/faultkit "$prefix"/lib/libfaultkit.so.*.*.*; do
      ! readelf -S "$binary" | grep -q '\.debug_info' || { echo "$binary is not stripped"; exit 1; }
      id=$(readelf -n "$binary" | sed -n 's/.*Build ID: \(..\)\(.*\)/\1\/\2/p')
      readelf -S "$work/dbgsym/usr/lib/debug/.build-id/$id.debug" | grep -q '\.debug_info'
    done
    test -f "$prefix/share/doc/faultkit/copyright"
    test -f "$prefix/share/man/man1/faultkit.1.gz"
    if command -v lintian >/dev/null; then
      lintian --fail-on error "$deb"
    fi ;;
  zip)
    (cd "$build" && cpack -G ZIP -B "$work/package" >/dev/null)
    unzip -q "$work"/package/*.zip -d "$work/root"
    # One folder, named as the zip.
    [ "$(ls "$work/root")" = "$(basename "$work"/package/*.zip .zip)" ]
    prefix=$work/root/$(ls "$work/root") ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
test -f "$prefix/include/faultkit.h"
[ "$mode" = deb ] || test -f "$prefix/share/doc/faultkit/LICENSE"
[ "$mode" != install ] || test -f "$prefix/share/man/man1/faultkit.1"
[ "$mode" = zip ] || test -f "$prefix/share/bash-completion/completions/faultkit"
pcdir=$(ls -d "$prefix"/lib*/pkgconfig "$prefix"/lib/*/pkgconfig 2>/dev/null | head -n 1)
libdir=$(dirname "$pcdir")

if [ "$mode" = zip ]; then
  # A Windows program finds faultkit.dll in its own folder.
  run() {
    [ "$(dirname "$1")" = "$prefix/bin" ] || cp "$prefix/bin/faultkit.dll" "$(dirname "$1")/"
    "$runner" "$@"
  }
  exe=.exe
else
  # shellcheck disable=SC2086
  run() { LD_LIBRARY_PATH=$libdir $runner "$@"; }
  exe=
fi
# A cross build's consumer is built with the same toolchain file.
if [ -n "$toolchain" ]; then
  cmake_args="-DCMAKE_TOOLCHAIN_FILE=$toolchain -Dfaultkit_DIR=$libdir/cmake/faultkit"
else
  cmake_args="-DCMAKE_PREFIX_PATH=$prefix"
fi
echo "== installed tool"
if [ "$mode" = zip ]; then
  run "$prefix/bin/faultkit.exe" --version
else
  # No library path: the tool must find its library by itself.
  # shellcheck disable=SC2086
  $runner "$prefix/bin/faultkit" --version
fi

echo "== CMake package"
# shellcheck disable=SC2086
cmake -S "$source" -B "$work/cmake-build" $cmake_args >/dev/null
cmake --build "$work/cmake-build" >/dev/null
run "$work/cmake-build/consumer$exe"

echo "== pkg-config, an installed example"
flags=$(PKG_CONFIG_PATH=$pcdir PKG_CONFIG_LIBDIR=$pcdir pkg-config --cflags --libs faultkit)
# shellcheck disable=SC2086
"$cc" -o "$work/example-pc$exe" "$prefix/share/doc/faultkit/examples/report_with_context.c" $flags
run "$work/example-pc$exe"
echo "$mode: contents, tool, CMake package and pkg-config consumers passed"
