qor_add_fuzzer(disasm_fuzzer SOURCES ${CMAKE_CURRENT_LIST_DIR}/disasm_fuzzer.cpp LIBS qor_disasm)
