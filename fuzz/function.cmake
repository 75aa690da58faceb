qor_add_fuzzer(function_fuzzer SOURCES ${CMAKE_CURRENT_LIST_DIR}/function_fuzzer.cpp
               LIBS qor_disasm)
