# The sprite sheet reader and the widgets built from what it read.
add_executable(fuzz_spritesheet fuzz_spritesheet.cpp)
target_link_libraries(fuzz_spritesheet PRIVATE mirel_gui)
target_include_directories(fuzz_spritesheet PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(fuzz_spritesheet PRIVATE -fsanitize=fuzzer)
mirel_warnings(fuzz_spritesheet)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fuzz_spritesheet.corpus)
add_test(NAME ${MIREL_TEST_PREFIX}fuzz_spritesheet
  COMMAND fuzz_spritesheet -max_total_time=${MIREL_FUZZ_SECONDS} -seed=1 -max_len=4096
    ${CMAKE_CURRENT_BINARY_DIR}/fuzz_spritesheet.corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/spritesheet
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(${MIREL_TEST_PREFIX}fuzz_spritesheet PROPERTIES LABELS fuzz TIMEOUT 300)
