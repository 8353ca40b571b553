# Sprite font files (portable) and, on Windows, the sprite batch that draws text with them.
add_library(mirel_spritefont STATIC ${CMAKE_CURRENT_LIST_DIR}/render/spritefont.cpp)
target_link_libraries(mirel_spritefont PUBLIC mirel_core)
mirel_warnings(mirel_spritefont)
if(WIN32)
  add_library(mirel_text STATIC ${CMAKE_CURRENT_LIST_DIR}/render/device/dx11/dx11SpriteText.cpp)
  target_link_libraries(mirel_text PUBLIC mirel_spritefont mirel_dx11 d3d11 d3dcompiler)
  mirel_warnings(mirel_text)
endif()
