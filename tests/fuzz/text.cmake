# The sprite font reader, seeded with the shipped font.
add_executable(fuzz_spritefont fuzz_spritefont.cpp)
target_link_libraries(fuzz_spritefont PRIVATE mirel_spritefont)
target_include_directories(fuzz_spritefont PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(fuzz_spritefont PRIVATE -fsanitize=fuzzer)
mirel_warnings(fuzz_spritefont)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fuzz_spritefont.corpus)
add_test(NAME ${MIREL_TEST_PREFIX}fuzz_spritefont
  COMMAND fuzz_spritefont -max_total_time=${MIREL_FUZZ_SECONDS} -seed=1 -max_len=40000
    ${CMAKE_CURRENT_BINARY_DIR}/fuzz_spritefont.corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/spritefont ${CMAKE_SOURCE_DIR}/assets/fonts
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(${MIREL_TEST_PREFIX}fuzz_spritefont PROPERTIES LABELS fuzz TIMEOUT 300)
