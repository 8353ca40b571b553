# The whole demo under Wine as a user sees it: screenshots probed in regions (kept in
# ${CMAKE_BINARY_DIR}/screens for people to look at), and a short soak run. The long soak is
# scripts/soak.sh.
set(demo_args $<TARGET_FILE:CadoraDemo> $<TARGET_FILE:frame_driver> $<TARGET_FILE:tesklib_stub>
  ${CMAKE_BINARY_DIR}/screens)
add_test(NAME ${MIREL_TEST_PREFIX}wine_demo_screens
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/demo_case.sh screens ${demo_args})
mirel_demo_test(${MIREL_TEST_PREFIX}wine_demo_screens TIMEOUT 240)
add_test(NAME ${MIREL_TEST_PREFIX}wine_demo_soak
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/demo_case.sh soak ${demo_args} 60)
mirel_demo_test(${MIREL_TEST_PREFIX}wine_demo_soak TIMEOUT 240)
# Every options-menu widget and every hotkey, driven once the demo has loaded.
add_test(NAME ${MIREL_TEST_PREFIX}wine_demo_features
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/demo_case.sh features ${demo_args})
mirel_demo_test(${MIREL_TEST_PREFIX}wine_demo_features TIMEOUT 300)
# Hotkeys M and R on assets edited while the demo runs; a missing model reported once.
foreach(c reload nomodel)
  add_test(NAME ${MIREL_TEST_PREFIX}wine_demo_${c} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/demo_case.sh ${c} ${demo_args})
  mirel_demo_test(${MIREL_TEST_PREFIX}wine_demo_${c} TIMEOUT 180)
endforeach()
# The frame-time graph in its band and the red bar's fade, at a pinned 5 fps.
add_test(NAME ${MIREL_TEST_PREFIX}wine_demo_overlays
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/demo_case.sh overlays ${demo_args})
mirel_demo_test(${MIREL_TEST_PREFIX}wine_demo_overlays TIMEOUT 240)
