# The demo renderer's view list, targets and enabling states (portable).
add_library(cadora_views STATIC ${CMAKE_CURRENT_LIST_DIR}/cadoraviews.cpp)
target_include_directories(cadora_views PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cadora_views PUBLIC mirel_core)
mirel_warnings(cadora_views)

if(NOT WIN32)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/texgen ${CMAKE_BINARY_DIR}/tools/texgen)
endif()
