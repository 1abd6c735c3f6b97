#!/bin/sh
# ThreadSanitizer run of the concurrency tests: builds the test programs in
# build-tsan (TAMBLOR_TSAN) and runs the tests in which the audio thread and
# the main thread work on one instance at the same time (the other
# integration tests run in the ordinary builds). Any report fails the run.
#   scripts/tsan.sh          the integration tests alone (tamblor_tsan_tests)
#   scripts/tsan.sh all      tamblor_tests, filtered to the same tests
set -eu
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 -DTAMBLOR_TSAN=ON -DTAMBLOR_BENCH=OFF >/dev/null
target=tamblor_tsan_tests
[ "${1:-}" = all ] && target=tamblor_tests
cmake --build build-tsan -j "$jobs" --target "$target"
filter="Integration.*"  # the concurrency test (one instance: quick enough for CI)
echo "== ThreadSanitizer: $target $filter"
TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$(pwd)/scripts/tsan.supp" \
    "./build-tsan/Tests/$target" --gtest_filter="$filter"
