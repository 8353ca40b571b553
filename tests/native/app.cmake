# The demo application object.
mirel_test(test_cadora test_cadora.cpp)
target_link_libraries(test_cadora PRIVATE cadora_app)
target_compile_definitions(test_cadora PRIVATE MIREL_SOURCE_ASSETS="${CMAKE_SOURCE_DIR}/assets")
