# Compute contexts: portable recording over the device pipe; on Windows the device layer
# answers what each context binds.
add_library(mirel_compute STATIC compute/computecontext.cpp $<$<BOOL:${WIN32}>:compute/computecontext_dx11.cpp>)
target_link_libraries(mirel_compute PUBLIC mirel_device mirel_core)
if(WIN32)
  target_link_libraries(mirel_compute PUBLIC mirel_dx11)
endif()
mirel_warnings(mirel_compute)
