#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer and
# runs it headless, everything as in scripts/test.sh.
# Extra arguments go to ctest. BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build="${BUILD_DIR:-build/sanitize}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONSOLE_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

supp="$PWD/tests/sanitize"
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 600 "$@"
