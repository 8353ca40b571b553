# Sprite font reader and the statistics text.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/fontbake ${CMAKE_BINARY_DIR}/tools/fontbake)
mirel_test(test_spritefont test_spritefont.cpp)
target_link_libraries(test_spritefont PRIVATE mirel_spritefont)
target_compile_definitions(test_spritefont PRIVATE MIREL_SOURCE_ASSETS="${CMAKE_SOURCE_DIR}/assets")
mirel_test(test_stats test_stats.cpp)
target_link_libraries(test_stats PRIVATE cadora_stats)
