# The options menu drawn on Wine's Direct3D from the shipped sheets and read back.
mirel_test(test_win_gui test_win_gui.cpp)
target_link_libraries(test_win_gui PRIVATE cadora_overlayviews mirel_dx11)
# The application object refers to the display library's Windows loader.
target_sources(test_win_gui PRIVATE ${CMAKE_SOURCE_DIR}/demo/detect_win32.cpp)
add_custom_target(test_win_gui_assets ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_CURRENT_BINARY_DIR}/gui_assets
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gui_assets
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/shaders ${CMAKE_CURRENT_BINARY_DIR}/gui_assets/shaders
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/materials ${CMAKE_CURRENT_BINARY_DIR}/gui_assets/materials
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/textures ${CMAKE_CURRENT_BINARY_DIR}/gui_assets/textures
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/assets/gui ${CMAKE_CURRENT_BINARY_DIR}/gui_assets/gui)
add_dependencies(test_win_gui test_win_gui_assets)
