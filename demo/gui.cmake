# The overlays' frame logic (portable); the views that draw it join the demo on Windows.
add_library(cadora_overlays STATIC overlays.cpp)
target_include_directories(cadora_overlays PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(cadora_overlays PUBLIC mirel_core)
mirel_warnings(cadora_overlays)

# The overlay and menu views of the demo's list (portable; recorded through the device pipe).
add_library(cadora_overlayviews STATIC overlayviews.cpp $<$<BOOL:${WIN32}>:gui_dx11.cpp>)
target_link_libraries(cadora_overlayviews PUBLIC cadora_overlays cadora_app cadora_compute cadora_views
  cadora_switches mirel_guiview mirel_renderer)
if(WIN32)
  target_link_libraries(cadora_overlayviews PUBLIC mirel_dx11)
  target_link_libraries(CadoraDemo PRIVATE cadora_overlayviews)
endif()
mirel_warnings(cadora_overlayviews)
