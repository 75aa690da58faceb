qor_add_fuzzer(tools_pe_fuzzer SOURCES tools_pe_fuzzer.cpp LIBS qor_modules)
