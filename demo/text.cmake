# The statistics overlay's text (portable).
add_library(cadora_stats STATIC ${CMAKE_CURRENT_LIST_DIR}/stats.cpp)
target_include_directories(cadora_stats PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(cadora_stats PUBLIC cadora_detect mirel_core)
mirel_warnings(cadora_stats)
