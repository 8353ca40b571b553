# The controller log line with its flush, per frame.
add_executable(bench_loadlog bench_loadlog.cpp)
target_link_libraries(bench_loadlog PRIVATE cadora_load benchmark::benchmark_main)
target_include_directories(bench_loadlog PRIVATE ${CMAKE_SOURCE_DIR})
mirel_warnings(bench_loadlog)
