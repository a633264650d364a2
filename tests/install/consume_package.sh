#!/bin/sh
# Stages an installed faultkit the way a user gets it, then builds and runs a
# consumer against it through the CMake package and through pkg-config, and
# runs the installed tool.
#   consume_package.sh install BUILD WORK CONSUMER_SOURCE CC
#       cmake --install into a fresh prefix
#   consume_package.sh deb BUILD WORK CONSUMER_SOURCE CC
#       cpack's .deb, unpacked with dpkg-deb
#   consume_package.sh zip BUILD WORK CONSUMER_SOURCE CC TOOLCHAIN_FILE RUNNER
#       cpack's Windows .zip, unpacked; programs run through RUNNER (Wine)
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
    dpkg-deb -x "$work"/package/*.deb "$work/root"
    prefix=$work/root/usr ;;
  zip)
    (cd "$build" && cpack -G ZIP -B "$work/package" >/dev/null)
    unzip -q "$work"/package/*.zip -d "$work/root"
    prefix=$work/root ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
test -f "$prefix/include/faultkit.h"
if [ "$mode" != zip ]; then
  test -f "$prefix/share/man/man1/faultkit.1"
  test -f "$prefix/share/bash-completion/completions/faultkit"
fi
pcdir=$(ls -d "$prefix"/lib*/pkgconfig "$prefix"/lib/*/pkgconfig 2>/dev/null | head -n 1)
libdir=$(dirname "$pcdir")

if [ "$mode" = zip ]; then
  # A Windows program finds faultkit.dll in its own folder.
  run() {
    [ "$(dirname "$1")" = "$prefix/bin" ] || cp "$prefix/bin/faultkit.dll" "$(dirname "$1")/"
    "$runner" "$@"
  }
  exe=.exe
  cmake_args="-DCMAKE_TOOLCHAIN_FILE=$toolchain -Dfaultkit_DIR=$libdir/cmake/faultkit"
else
  run() { LD_LIBRARY_PATH=$libdir "$@"; }
  exe=
  cmake_args="-DCMAKE_PREFIX_PATH=$prefix"
fi

echo "== installed tool"
if [ "$mode" = zip ]; then
  run "$prefix/bin/faultkit.exe" --version
else
  # No library path: the tool must find its library by itself.
  "$prefix/bin/faultkit" --version
fi

echo "== CMake package"
# shellcheck disable=SC2086
cmake -S "$source" -B "$work/cmake-build" $cmake_args >/dev/null
cmake --build "$work/cmake-build" >/dev/null
run "$work/cmake-build/consumer$exe"

echo "== pkg-config"
static=$(grep -q "^Libs.private" "$pcdir/faultkit.pc" && echo --static || true)
flags=$(PKG_CONFIG_PATH=$pcdir PKG_CONFIG_LIBDIR=$pcdir pkg-config $static --cflags --libs faultkit)
# shellcheck disable=SC2086
"$cc" -std=c11 -o "$work/consumer-pc$exe" "$source/consumer.c" $flags
run "$work/consumer-pc$exe"
echo "$mode: tool, CMake package and pkg-config consumers passed"
