# Instrumentation that a build asks for with an option. Every module library links the targets in
# VANDOR_INSTRUMENTATION publicly, so the code under test is instrumented along with the programs
# that run it.
set(VANDOR_INSTRUMENTATION)

# AddressSanitizer and UndefinedBehaviorSanitizer; a finding ends the program.
add_library(vandor_sanitize INTERFACE)
target_compile_options(vandor_sanitize INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(vandor_sanitize INTERFACE -fsanitize=address,undefined)
if(VANDOR_SANITIZE)
    list(APPEND VANDOR_INSTRUMENTATION vandor_sanitize)
endif()

# ThreadSanitizer, for the hand-offs between the walk and the read-ahead thread; a finding ends
# the program. Test builds check the hand-offs' preconditions (assertions) as well.
add_library(vandor_tsan INTERFACE)
target_compile_options(vandor_tsan INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
target_link_options(vandor_tsan INTERFACE -fsanitize=thread)
if(VANDOR_TSAN)
    list(APPEND VANDOR_INSTRUMENTATION vandor_tsan)
endif()

# libFuzzer's coverage with the same sanitizers. libFuzzer ships with clang, so other compilers
# get no fuzz build at all (tests/fuzz builds none of its targets there).
add_library(vandor_fuzz_instrumentation INTERFACE)
target_compile_options(vandor_fuzz_instrumentation INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(vandor_fuzz_instrumentation INTERFACE -fsanitize=address,undefined)
if(VANDOR_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    list(APPEND VANDOR_INSTRUMENTATION vandor_fuzz_instrumentation)
endif()
