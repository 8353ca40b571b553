# Renderer, render views, render settings and the shared constant blocks (portable: the device
# is reached through the render host, recording through the device pipe).
add_library(mirel_renderer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/render/renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/render/rendersettings.cpp
)
target_link_libraries(mirel_renderer PUBLIC mirel_scene mirel_device mirel_render mirel_frame mirel_core)
mirel_warnings(mirel_renderer)

if(WIN32)
  # The Direct3D 11 frame back end the main loop drives.
  add_library(mirel_dx11backend STATIC ${CMAKE_CURRENT_LIST_DIR}/render/device/dx11/dx11Backend.cpp)
  target_link_libraries(mirel_dx11backend PUBLIC mirel_renderer mirel_compute mirel_dx11 mirel_frame)
  mirel_warnings(mirel_dx11backend)
endif()
