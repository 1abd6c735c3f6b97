#!/bin/sh
# Configures and builds one build tree: scripts/build.sh [release|asan]
set -eu
cd "$(dirname "$0")/.."
kind="${1:-release}"
jobs="${JOBS:-$(nproc)}"
case "$kind" in
    release) dir=build; flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo" ;;
    asan) dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DTAMBLOR_SANITIZE=ON -DTAMBLOR_BENCH=OFF" ;;
    *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "$dir" -G Ninja $flags >/dev/null
cmake --build "$dir" -j "$jobs"
