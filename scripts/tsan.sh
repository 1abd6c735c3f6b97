#!/bin/sh
# ThreadSanitizer run of the concurrency tests: builds tamblor_tests in
# build-tsan (TAMBLOR_TSAN) and runs the tests in which the audio thread and
# the main thread work on one instance at the same time. Any report fails
# the run. Usage: scripts/tsan.sh [extra gtest filter patterns, ':'-separated]
set -eu
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMBLOR_TSAN=ON -DTAMBLOR_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target tamblor_tests
filter="Integration.*:ProductInstance.*${1:+:$1}"
echo "== ThreadSanitizer: $filter"
TSAN_OPTIONS="halt_on_error=1 abort_on_error=0 exitcode=66 second_deadlock_stack=1 suppressions=$(pwd)/scripts/tsan.supp" \
    ./build-tsan/Tests/tamblor_tests --gtest_filter="$filter"
