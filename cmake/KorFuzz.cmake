# kor_add_fuzzer(<name> <source> <libraries...>)
# With KORLOADER_BUILD_FUZZERS (the `fuzz` preset, clang) it builds a libFuzzer binary.
# In every test build it also builds a replay binary that runs the seed corpus in
# tests/fuzz/corpus/<name>/ under ctest, so every seed keeps passing everywhere.
# Memory streams for the inputs are the platform's own affair.
if(WIN32)
    set(KOR_FUZZ_INPUT_STREAM ${PROJECT_SOURCE_DIR}/tests/fuzz/InputStreamWin32.cpp)
else()
    set(KOR_FUZZ_INPUT_STREAM ${PROJECT_SOURCE_DIR}/tests/fuzz/InputStreamPosix.cpp)
endif()

function(kor_add_fuzzer name source)
    set(libraries ${ARGN})
    set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
    if(KORLOADER_BUILD_FUZZERS)
        add_executable(${name} ${source} ${KOR_FUZZ_INPUT_STREAM})
        target_link_libraries(${name} PRIVATE ${libraries} kor_warnings)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    endif()
    if(KORLOADER_BUILD_TESTS)
        add_executable(${name}_replay ${source} ${KOR_FUZZ_INPUT_STREAM}
            ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayDriver.cpp)
        target_link_libraries(${name}_replay PRIVATE ${libraries} kor_warnings)
        add_test(NAME ${name}_replay COMMAND ${name}_replay ${corpus})
    endif()
endfunction()
