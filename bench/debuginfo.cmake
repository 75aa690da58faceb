add_executable(debuginfo_bench ${CMAKE_CURRENT_SOURCE_DIR}/debuginfo_bench.cpp)
target_link_libraries(debuginfo_bench PRIVATE qor_debuginfo benchmark::benchmark)
target_compile_definitions(debuginfo_bench PRIVATE
  QOR_WIN32_TREE="${PROJECT_SOURCE_DIR}/build/win32")
