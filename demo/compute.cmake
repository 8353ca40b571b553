# The load controller as the demo's compute context (portable; the device objects on Windows).
add_library(cadora_compute STATIC cadoracompute.cpp $<$<BOOL:${WIN32}>:cadoracompute_dx11.cpp>)
target_include_directories(cadora_compute PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(cadora_compute PUBLIC cadora_load cadora_switches mirel_compute mirel_frame mirel_core)
if(WIN32)
  target_link_libraries(cadora_compute PUBLIC mirel_dx11)
  target_link_libraries(CadoraDemo PRIVATE cadora_compute)
endif()
mirel_warnings(cadora_compute)
