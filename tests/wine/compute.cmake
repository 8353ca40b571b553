# The load controller in the running demo, judged from its log. Only the 5 fps target is
# reachable with the scene on a software rasteriser; the other cases of the script are for a
# machine with a GPU.
add_test(NAME ${MIREL_TEST_PREFIX}wine_controller_fixed5
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/controller_case.sh fixed5 $<TARGET_FILE:CadoraDemo> $<TARGET_FILE:frame_driver>)
mirel_demo_test(${MIREL_TEST_PREFIX}wine_controller_fixed5 TIMEOUT 240)
