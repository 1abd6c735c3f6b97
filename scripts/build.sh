#!/bin/sh
# Configures and builds one build tree: scripts/build.sh [release|asan]
set -eu
cd "$(dirname "$0")/.."
kind="${1:-release}"
jobs="${JOBS:-$(nproc)}"
# Line tables only (-g1): enough for profiles and sanitizer stack traces, and
# about a third less compile time than full debug information. For a
# debugger session configure a tree of your own with -g.
case "$kind" in
    release) dir=build
        set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" ;;
    asan) dir=build-asan
        set -- -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
            -DTAMBLOR_SANITIZE=ON -DTAMBLOR_BENCH=OFF ;;
    *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
