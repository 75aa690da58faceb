qor_add_fuzzer(stack_trace_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/stack_trace_fuzzer.cpp
  LIBS qor_stack qor_stack_testing)
