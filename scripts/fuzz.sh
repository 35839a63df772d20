#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for a bounded time, starting from the seed corpus in tests/fuzz/corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
# Two targets run at a time, one per core. Fails on any crash, sanitizer report or
# mismatch; the input that caused it is kept in build-fuzz/artifacts. New inputs found go
# to a scratch folder, not into the repository.
set -euo pipefail
seconds="${1:-20}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build-fuzz"
targets=(fuzz_legacy_import fuzz_filter_pattern fuzz_dates)

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DQS_FUZZ=ON -DQS_CORE_ONLY=ON -DQS_UNITY_BUILD=ON -DQS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# A smaller quarantine keeps long runs well within the memory limit.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:quarantine_size_mb=64
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
artifacts="$build/artifacts"
mkdir -p "$artifacts"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

run() {
    local target="$1"
    mkdir -p "$scratch/$target"
    local rc=0
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$scratch/$target" "$here/tests/fuzz/corpus/$target" >"$artifacts/$target.log" 2>&1 ||
        rc=$?
    echo "$rc" >"$scratch/$target.rc"
}

for target in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= 2)); do
        wait -n || true
    done
    run "$target" &
done
wait

failed=0
for target in "${targets[@]}"; do
    log="$artifacts/$target.log"
    if [ "$(cat "$scratch/$target.rc")" != 0 ]; then
        tail -n 40 "$log" >&2
        echo "$target failed; its log is $log" >&2
        failed=1
        continue
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "$target: ${runs:-?} executions in ${seconds} s"
done
exit "$failed"
