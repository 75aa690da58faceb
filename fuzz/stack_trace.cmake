qor_add_fuzzer(stack_trace_fuzzer
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/stack_trace_fuzzer.cpp
    ${PROJECT_SOURCE_DIR}/crash/stack/stack_test_process.cpp
    ${PROJECT_SOURCE_DIR}/crash/stack/pe_test_image.cpp
    ${PROJECT_SOURCE_DIR}/crash/debuginfo/test_module_image.cpp
  LIBS qor_stack_trace qor_debuginfo_writer)
