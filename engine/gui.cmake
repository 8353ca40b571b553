# Sprite sheets and widgets (portable); the options menu, which also knows the demo's choices.
add_library(mirel_gui STATIC gui/spritesheet.cpp gui/widgets.cpp)
target_link_libraries(mirel_gui PUBLIC mirel_frame mirel_core)
mirel_warnings(mirel_gui)

add_library(mirel_guimenu STATIC gui/optionsmenu.cpp)
target_link_libraries(mirel_guimenu PUBLIC mirel_gui cadora_load cadora_anim cadora_detect)
mirel_warnings(mirel_guimenu)

# The menu's render view.
add_library(mirel_guiview STATIC gui/gui_rv.cpp)
target_link_libraries(mirel_guiview PUBLIC mirel_guimenu mirel_renderer)
mirel_warnings(mirel_guiview)
