# Sprite font files (portable) and, on Windows, the sprite batch that draws text with them.
add_library(mirel_spritefont STATIC ${CMAKE_CURRENT_LIST_DIR}/render/spritefont.cpp)
target_link_libraries(mirel_spritefont PUBLIC mirel_core)
mirel_warnings(mirel_spritefont)
