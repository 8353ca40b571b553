# The overlays' frame logic (portable); the views that draw it join the demo on Windows.
add_library(cadora_overlays STATIC overlays.cpp)
target_include_directories(cadora_overlays PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(cadora_overlays PUBLIC mirel_core)
mirel_warnings(cadora_overlays)
