#!/bin/sh
# Set-up, build and the whole test suite: the release build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, and the Windows
# builds (32-bit module checked statically, 64-bit tests under Wine).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh release
./scripts/build.sh asan
jobs="${JOBS:-$(nproc)}"
echo "== tests (release)"
ctest --test-dir build --output-on-failure -j "$jobs"
echo "== tests (asan+ubsan)"
# The end-to-end runs of whole product instances (the render tool's runs, the
# latency sweep over every rate and factor, the overshoot table) repeat under
# the sanitizers what the module tests cover there already, at many times
# the cost: they run in the release suite only (so do the renders from the
# first sample at every rate, factor and block size).
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -E '^(RenderTool|RenderDelivery|ProductLatency|ProductLimiting|ProductStart)\.'

# ThreadSanitizer: the instance with its audio thread and a main thread
# working as hosts and editors do (scripts/tsan.sh); any report fails.
echo "== tests (thread sanitizer)"
./scripts/tsan.sh

# The Windows part reuses the build-time tools of build/; its time is shown
# so that the whole run can be kept within the CI budget.
echo "== Windows builds"
start=$(date +%s)
./scripts/windows-build.sh all
built=$(date +%s)
./scripts/windows-test.sh
finished=$(date +%s)
echo "== Windows part: build $((built - start)) s, checks and Wine runs $((finished - built)) s"
