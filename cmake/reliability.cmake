# Builds that look for faults rather than ship: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), and the libFuzzer targets in tests/fuzz (clang only).
# Both want a build directory of their own; see scripts/sanitize.sh and scripts/fuzz.sh.

if(CONSOLE_SANITIZE AND CONSOLE_FUZZ)
    message(FATAL_ERROR "CONSOLE_SANITIZE and CONSOLE_FUZZ go in separate build directories")
endif()

if(CONSOLE_SANITIZE)
    # Recovering from undefined behaviour would let a test pass over it: every finding stops the test.
    set(console_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${console_sanitize_flags})
    add_link_options(${console_sanitize_flags})
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
