# The demo renderer's view list, targets and enabling states (portable).
add_library(cadora_views STATIC ${CMAKE_CURRENT_LIST_DIR}/cadoraviews.cpp)
target_include_directories(cadora_views PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cadora_views PUBLIC mirel_core)
mirel_warnings(cadora_views)

if(NOT WIN32)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/texgen ${CMAKE_BINARY_DIR}/tools/texgen)
endif()

# The demo renderer and its scene passes, once the engine's renderer is part of the build.
if(TARGET mirel_renderer)
  add_library(cadora_scene STATIC ${CMAKE_CURRENT_LIST_DIR}/cadorarenderer.cpp)
  target_link_libraries(cadora_scene PUBLIC cadora_views cadora_switches mirel_renderer mirel_scene)
  if(WIN32)
    target_link_libraries(cadora_scene PUBLIC mirel_dx11)
    target_link_libraries(CadoraDemo PRIVATE cadora_scene)
  endif()
  mirel_warnings(cadora_scene)
endif()
