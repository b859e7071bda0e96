#!/bin/sh
# Builds the host project of this folder against QorUtils installed under PREFIX, once through
# find_package and once through pkg-config, in WORK, and runs both programs. The pkg-config
# build is told nothing about how the library was built (shared or static), and asks for C++20
# and no RTTI.
# A third build, in the standard library's debug mode, must fail to link.
# Usage: check.sh PREFIX WORK
set -eu
prefix=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
cmake -S "$here" -B "$work" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
cmake --build "$work"
"$work/consumer"

pc=$(find "$prefix" -name QorUtils.pc)
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
# pkg-config escapes the spaces of a path as a shell would: its flags are read with eval.
eval "set -- $(pkg-config --cflags --libs QorUtils)"
eval "libdir=$(pkg-config --variable=libdir QorUtils)"
# A host on a newer language standard than the library's keeps it; this one is also built
# without RTTI, as some hosts are.
c++ -std=c++20 -fno-rtti -DCONSUMER_CPLUSPLUS=202002L "$here/main.cpp" "$@" -o "$work/consumer-pc"
LD_LIBRARY_PATH=$libdir "$work/consumer-pc"

# A host in the standard library's debug mode, which lays out the containers that the library's
# classes hold otherwise, fails to link instead of corrupting them.
if c++ -D_GLIBCXX_DEBUG "$here/main.cpp" "$@" -o "$work/consumer-debug" \
    >"$work/consumer-debug.log" 2>&1 ||
    ! grep -q 'abi:glibcxx_debug' "$work/consumer-debug.log"; then
    echo "check: a host built with _GLIBCXX_DEBUG was not refused at link time" >&2
    exit 1
fi
