qor_add_fuzzer(debuginfo_compact_fuzzer
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/debuginfo_compact_fuzzer.cpp
  LIBS qor_debuginfo)
