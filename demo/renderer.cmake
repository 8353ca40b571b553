if(WIN32)
  # The Direct3D 11 frame back end the program installs before the engine starts.
  target_link_libraries(CadoraDemo PRIVATE mirel_dx11backend)
endif()
