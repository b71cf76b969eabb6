# Builds that look for faults rather than ship: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), the serial tests under ThreadSanitizer, and the
# libFuzzer targets in tests/fuzz (clang only). Each wants a build directory of its own; see
# scripts/sanitize.sh and scripts/fuzz.sh.

set(console_fault_builds 0)
foreach(build CONSOLE_SANITIZE CONSOLE_TSAN CONSOLE_FUZZ)
    if(${build})
        math(EXPR console_fault_builds "${console_fault_builds} + 1")
    endif()
endforeach()
if(console_fault_builds GREATER 1)
    message(FATAL_ERROR "CONSOLE_SANITIZE, CONSOLE_TSAN and CONSOLE_FUZZ go in separate build directories")
endif()

if(CONSOLE_SANITIZE)
    # Recovering from undefined behaviour would let a test pass over it: every finding stops the test.
    set(console_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${console_sanitize_flags})
    add_link_options(${console_sanitize_flags})
endif()

if(CONSOLE_TSAN)
    # The reader thread meets the window only through its own mutex and eventfds, which the sanitizer
    # sees; Qt itself is not instrumented (see tests/sanitize/tsan.supp).
    set(console_tsan_flags -fsanitize=thread -fno-omit-frame-pointer)
    add_compile_options(${console_tsan_flags})
    add_link_options(${console_tsan_flags})
endif()

if(CONSOLE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "CONSOLE_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # Everything is instrumented for coverage; only the fuzz targets link libFuzzer's main().
    set(console_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(-fsanitize=fuzzer-no-link ${console_sanitize_flags})
    add_link_options(${console_sanitize_flags})
endif()
