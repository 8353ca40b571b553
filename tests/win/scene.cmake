# The demo renderer drawing the scene on Wine's Direct3D, probed from the read-back image.
if(TARGET cadora_scene)
  mirel_test(test_scene_render test_scene_render.cpp)
  target_link_libraries(test_scene_render PRIVATE cadora_scene mirel_dx11)
  add_custom_target(test_scene_render_assets ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_CURRENT_BINARY_DIR}/scene_assets
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/scene_assets
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/shaders ${CMAKE_CURRENT_BINARY_DIR}/scene_assets/shaders
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/materials ${CMAKE_CURRENT_BINARY_DIR}/scene_assets/materials
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/models ${CMAKE_CURRENT_BINARY_DIR}/scene_assets/models
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/textures ${CMAKE_CURRENT_BINARY_DIR}/scene_assets/textures)
  add_dependencies(test_scene_render test_scene_render_assets)
endif()
