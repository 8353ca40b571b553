# Text drawn into a render target on Wine's Direct3D and read back.
mirel_test(test_win_text test_win_text.cpp)
target_link_libraries(test_win_text PRIVATE mirel_text)
mirel_copy_beside(test_win_text ${CMAKE_SOURCE_DIR}/assets/fonts/mirelFont.spritefont)
if(TARGET cadora_debugview)
  mirel_test(test_win_debugview test_win_debugview.cpp)
  target_link_libraries(test_win_debugview PRIVATE cadora_debugview)
endif()
