#!/bin/sh
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# in build-fuzz and runs each for the given time: scripts/fuzz.sh [seconds-per-target]
# Each target keeps its corpus in build-fuzz/corpus/<target> (seeded from
# Fuzz/seeds/<target> when that exists), its log in build-fuzz/logs and
# crashing inputs in build-fuzz/artifacts.
set -eu
cd "$(dirname "$0")/.."
secs="${1:-60}"
jobs="${JOBS:-$(nproc)}"
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAMBLOR_FUZZ=ON -DTAMBLOR_SANITIZE=ON -DTAMBLOR_TESTS=OFF -DTAMBLOR_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$jobs" --target fuzz
mkdir -p "$dir/corpus" "$dir/logs" "$dir/artifacts"
LSAN_OPTIONS="suppressions=$(pwd)/Fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS

summary=""
failed=0
for bin in "$dir"/Fuzz/fuzz_*; do
    [ -f "$bin" ] && [ -x "$bin" ] || continue
    name=$(basename "$bin")
    mkdir -p "$dir/corpus/$name"
    seeds=""
    if [ -d "Fuzz/seeds/$name" ]; then seeds="Fuzz/seeds/$name"; fi
    log="$dir/logs/$name.log"
    echo "== $name (${secs} s)"
    if "$bin" -max_total_time="$secs" -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$name-" "$dir/corpus/$name" $seeds >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        failed=1
        tail -n 30 "$log"
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    files=$(find "$dir/corpus/$name" -type f | wc -l)
    summary="$summary$(printf '%-24s %-7s %12s execs %8s corpus files' "$name" "$result" "${execs:-?}" "$files")
"
done
echo "== summary"
printf '%s' "$summary"
exit "$failed"
