# The load controller's busy work on the device layer (Wine's Direct3D).
mirel_test(test_win_compute test_win_compute.cpp ${CMAKE_SOURCE_DIR}/tools/plotlog/plotlog.cpp)
target_link_libraries(test_win_compute PRIVATE cadora_compute)
