# The scan for HLSL that only Wine's compiler accepts (portable, used by the tests).
add_library(mirel_shaderscan STATIC shaderscan.cpp)
target_include_directories(mirel_shaderscan PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
mirel_warnings(mirel_shaderscan)
