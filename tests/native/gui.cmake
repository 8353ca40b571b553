# Sprite sheets, widgets and the options menu; the overlays' frame logic; the sheet generator.
mirel_test(test_gui test_gui.cpp)
target_link_libraries(test_gui PRIVATE mirel_guiview)
target_compile_definitions(test_gui PRIVATE MIREL_SOURCE_ASSETS="${CMAKE_SOURCE_DIR}/assets")
mirel_test(test_overlays test_overlays.cpp)
target_link_libraries(test_overlays PRIVATE cadora_overlays)
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/guigen ${CMAKE_BINARY_DIR}/tools/guigen)
