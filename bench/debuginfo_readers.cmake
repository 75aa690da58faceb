add_executable(debuginfo_readers_bench ${CMAKE_CURRENT_SOURCE_DIR}/debuginfo_readers_bench.cpp)
target_link_libraries(debuginfo_readers_bench PRIVATE qor_debuginfo qor_debuginfo_testing
                      benchmark::benchmark)
