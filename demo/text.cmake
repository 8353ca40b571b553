# The statistics overlay's text (portable).
add_library(cadora_stats STATIC ${CMAKE_CURRENT_LIST_DIR}/stats.cpp)
target_include_directories(cadora_stats PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cadora_stats PUBLIC cadora_detect mirel_core)
mirel_warnings(cadora_stats)

# The statistics view, once the renderer, the demo's view list and the load controller are built.
if(WIN32 AND TARGET mirel_renderer AND TARGET cadora_views AND TARGET cadora_compute)
  add_library(cadora_debugview STATIC ${CMAKE_CURRENT_LIST_DIR}/debugview.cpp)
  target_link_libraries(cadora_debugview PUBLIC cadora_stats cadora_overlays cadora_views cadora_compute cadora_switches
    mirel_text mirel_renderer mirel_scene mirel_frame)
  mirel_warnings(cadora_debugview)
  target_link_libraries(CadoraDemo PRIVATE cadora_debugview)
endif()
if(WIN32)
  # The demo looks for its font beside the program.
  mirel_copy_beside(CadoraDemo ${CMAKE_SOURCE_DIR}/assets/fonts/mirelFont.spritefont)
endif()
