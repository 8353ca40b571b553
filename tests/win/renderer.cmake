# The frame back end on Wine's Direct3D; the shipped shaders and materials (the depth materials)
# and the unit cube travel beside the program.
mirel_test(test_renderer_win test_renderer_win.cpp)
target_link_libraries(test_renderer_win PRIVATE mirel_dx11backend)
add_custom_target(test_renderer_win_assets ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_CURRENT_BINARY_DIR}/renderer_assets
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/shaders ${CMAKE_CURRENT_BINARY_DIR}/renderer_assets/shaders
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/materials ${CMAKE_CURRENT_BINARY_DIR}/renderer_assets/materials
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/assets/models/unitcube.model ${CMAKE_CURRENT_BINARY_DIR}/renderer_assets/models/unitcube.model)
add_dependencies(test_renderer_win test_renderer_win_assets)
