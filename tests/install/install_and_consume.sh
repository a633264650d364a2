#!/bin/sh
# usage: install_and_consume.sh BUILD_DIR WORK_DIR CONSUMER_SOURCE C_COMPILER
set -eu
build=$1 work=$2 source=$3 cc=$4
rm -rf "$work"
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/faultkit.h"
test -x "$prefix/bin/faultkit"
test -f "$prefix/share/man/man1/faultkit.1"
test -f "$prefix/share/bash-completion/completions/faultkit"

echo "== CMake package"
cmake -S "$source" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$prefix/lib "$work/cmake-build/consumer"

echo "== pkg-config"
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
flags=$(PKG_CONFIG_PATH=$libdir pkg-config --cflags --libs faultkit)
# shellcheck disable=SC2086
"$cc" -std=c11 -o "$work/consumer-pc" "$source/consumer.c" $flags
LD_LIBRARY_PATH=$(dirname "$libdir") "$work/consumer-pc"
echo "install and consume: both ways passed"
