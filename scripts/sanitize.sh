#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer and
# runs it headless, everything as in scripts/test.sh.
# With "thread" as the first argument it builds the tests that drive a serial port (the reader
# thread included) with ThreadSanitizer instead, in a build directory of its own, and runs those.
# Extra arguments go to ctest. BUILD_DIR picks another build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=address
if [ "${1:-}" = thread ]; then
    mode=thread
    shift
fi

bash scripts/setup.sh
supp="$PWD/tests/sanitize"

if [ "$mode" = thread ]; then
    build="${BUILD_DIR:-build/tsan}"
    tests=(tst_serial_console tst_port_control tst_at_panel tst_end_to_end)
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONSOLE_TSAN=ON
    cmake --build "$build" -j"$(nproc)" --target "${tests[@]}"
    # A report stops the test with exit code 66, so ctest counts it as failed. QProcess forks the
    # simulator from a process that already runs threads; the child only calls exec(), which is safe.
    export TSAN_OPTIONS="halt_on_error=1:exitcode=66:die_after_fork=0:second_deadlock_stack=1:suppressions=$supp/tsan.supp"
    regex="^($(IFS='|'; echo "${tests[*]}"))\$"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 600 \
        -R "$regex" "$@"
    exit
fi

build="${BUILD_DIR:-build/sanitize}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONSOLE_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The bench's byte check is left out: its floods measure nothing under a sanitizer, and the plain
# run checks the same bytes.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 600 -LE bench "$@"
