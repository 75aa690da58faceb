# qorStackTrace: the stack walker and the stack-trace lines (portable).
add_library(qor_stack_trace STATIC
  code_location.cpp
  progress.cpp
  stack_chains.cpp
  stack_code.cpp
  stack_collect.cpp
  stack_compose.cpp
  stack_deep_checks.cpp
  stack_items.cpp
  stack_output.cpp
  stack_recursion.cpp
  stack_tables.cpp
  stack_trace.cpp
)
target_include_directories(qor_stack_trace PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qor_stack_trace PUBLIC qor_function qor_debuginfo qor_disasm qor_stack_tools)

qor_add_test(stack_trace_test
  SOURCES
    code_location_test.cpp
    progress_test.cpp
    stack_code_test.cpp
    stack_compose_test.cpp
    stack_tables_test.cpp
    stack_trace_test.cpp
    stack_test_process.cpp
    pe_test_image.cpp
    ${PROJECT_SOURCE_DIR}/crash/debuginfo/test_module_image.cpp
  LIBS qor_stack_trace qor_debuginfo_writer)

# The walker over the current process.
if(QOR_WIN32)
  target_sources(qor_stack_trace PRIVATE stack_trace_win32.cpp)
  target_link_libraries(qor_stack_trace PUBLIC qor_stack_tools_win32 qor_raise)
endif()

if(QOR_WIN32)
  # The progress window of the traces.
  target_sources(qor_stack_trace PRIVATE progress_bar_win32.cpp)
  target_link_libraries(qor_stack_trace PUBLIC gdi32 user32)
  qor_add_test(progress_bar_win32_test SOURCES progress_bar_win32_test.cpp LIBS qor_stack_trace)
endif()

# Live traces against frames known by construction (Wine).
if(QOR_WIN32)
  qor_add_test(stack_trace_live_test
    SOURCES stack_trace_live_win32_test.cpp stack_walk_scenarios_win32.cpp
    LIBS qor_stack_trace)
  qor_embed_debug_info(stack_trace_live_test)
endif()

# The same scenarios walked by our walker and by dbghelp's StackWalk64, which
# needs the program's DWARF (version 4: Wine's reader lags behind).
if(QOR_WIN32)
  qor_add_test(stack_walk_peer_test
    SOURCES stack_walk_peer_win32_test.cpp stack_walk_scenarios_win32.cpp
    LIBS qor_stack_trace dbghelp)
  target_compile_options(stack_walk_peer_test PRIVATE -gdwarf-4)
  qor_companion_debug_info(stack_walk_peer_test)
endif()
