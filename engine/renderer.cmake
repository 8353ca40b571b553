# Renderer, render views, render settings and the shared constant blocks (portable: the device
# is reached through the render host, recording through the device pipe).
add_library(mirel_renderer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/render/renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/render/rendersettings.cpp
)
target_link_libraries(mirel_renderer PUBLIC mirel_scene mirel_device mirel_render mirel_frame mirel_core)
mirel_warnings(mirel_renderer)
