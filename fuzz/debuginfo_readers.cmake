# The readers of the tool chain's debug information: text map, JDBG, TD32.
foreach(reader map jdbg td32)
  qor_add_fuzzer(debuginfo_${reader}_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/debuginfo_${reader}_fuzzer.cpp
    LIBS qor_debuginfo)
endforeach()
