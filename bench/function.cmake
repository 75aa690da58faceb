# ParseFunction over every function of Uninstall.exe.
find_program(QOR_BENCH_NM i686-w64-mingw32-nm)
if(QOR_BENCH_NM AND TARGET qor_disasm_testing)
  add_executable(function_bench ${CMAKE_CURRENT_LIST_DIR}/function_bench.cpp)
  target_link_libraries(function_bench PRIVATE qor_disasm qor_disasm_testing
                        benchmark::benchmark)
  target_compile_definitions(function_bench PRIVATE
    QOR_UNINSTALL_EXE="${PROJECT_SOURCE_DIR}/build/win32/app/Uninstall.debug.exe"
    QOR_NM="${QOR_BENCH_NM}")
endif()
