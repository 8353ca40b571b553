# Shaders that Wine's compiler and Microsoft's both accept: the scan, and every shipped or held
# shader through it.
mirel_test(test_shaderscan test_shaderscan.cpp)
target_link_libraries(test_shaderscan PRIVATE mirel_shaderscan cadora_compute)
target_compile_definitions(test_shaderscan PRIVATE MIREL_SOURCE_ASSETS="${CMAKE_SOURCE_DIR}/assets"
                                                   MIREL_SOURCE_ROOT="${CMAKE_SOURCE_DIR}")
