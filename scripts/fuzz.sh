#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang and runs each for a while on a scratch copy of
# its corpus, so tests/fuzz/corpus is only read. Usage:
#   bash scripts/fuzz.sh [seconds per target, default 30] [target ...]
# A target that finds a fault leaves the input in <build>/artifacts; run the target on that file to
# see it again. BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] &&
    targets=(fuzz_link_decoder)

bash scripts/setup.sh clang libclang-rt-dev
build="${BUILD_DIR:-build/fuzz}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCONSOLE_FUZZ=ON
cmake --build "$build" -j"$(nproc)" --target fuzzers

export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/artifacts"
passed=0
failed=0
for target in "${targets[@]}"; do
    work="$build/corpus/$target"
    mkdir -p "$work"
    echo "== $target: ${seconds} s"
    if "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$work" "tests/fuzz/corpus/$target" \
        2>"$build/$target.log"; then
        passed=$((passed + 1))
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$build/$target.log" || true
    else
        failed=$((failed + 1))
        tail -40 "$build/$target.log"
        echo "$target found a fault; the input is in $build/artifacts"
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
