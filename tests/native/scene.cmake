# The demo renderer's view list and the scene's generated textures.
mirel_test(test_scene test_scene.cpp)
target_link_libraries(test_scene PRIVATE cadora_views mirel_device)
target_compile_definitions(test_scene PRIVATE MIREL_SOURCE_ASSETS="${CMAKE_SOURCE_DIR}/assets")
# The committed textures are what the tool writes today.
add_test(NAME ${MIREL_TEST_PREFIX}texgen_regenerates
  COMMAND sh -c "d=$(mktemp -d) && $<TARGET_FILE:texgen> $d && for f in ground skycube; do cmp $d/$f.dds ${CMAKE_SOURCE_DIR}/assets/textures/$f.dds || exit 1; done; rm -rf $d")
set_tests_properties(${MIREL_TEST_PREFIX}texgen_regenerates PROPERTIES LABELS native)
if(TARGET cadora_scene)
  mirel_test(test_cadorarenderer test_cadorarenderer.cpp)
  target_link_libraries(test_cadorarenderer PRIVATE cadora_scene)
endif()
