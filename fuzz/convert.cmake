# The converter's readers over real programs: the seeds are built here by
# the MinGW tool chain (DWARF 5 and 4), and scripts/run-fuzzers passes them
# to libFuzzer beside its corpus. The replay build runs them once as a test.
qor_add_fuzzer(convert_fuzzer SOURCES ${CMAKE_CURRENT_LIST_DIR}/convert_fuzzer.cpp
               LIBS qor_symbol_file)
find_program(QOR_SEED_GXX i686-w64-mingw32-g++)
if(QOR_SEED_GXX)
  set(seed_dir ${CMAKE_CURRENT_BINARY_DIR}/seeds/convert_fuzzer)
  set(seed_source ${CMAKE_CURRENT_LIST_DIR}/seeds/convert_sample.cpp)
  set(seeds ${seed_dir}/dwarf5.exe ${seed_dir}/dwarf4.exe)
  add_custom_command(OUTPUT ${seeds}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${seed_dir}
    COMMAND ${QOR_SEED_GXX} -O2 -g -o ${seed_dir}/dwarf5.exe ${seed_source}
    COMMAND ${QOR_SEED_GXX} -O2 -gdwarf-4 -o ${seed_dir}/dwarf4.exe ${seed_source}
    DEPENDS ${seed_source}
    COMMENT "Building the converter fuzzer's seed programs")
  add_custom_target(convert_fuzzer_seeds ALL DEPENDS ${seeds})
  if(NOT QOR_FUZZ)
    add_test(NAME convert_fuzzer_seeds COMMAND convert_fuzzer ${seeds})
  endif()
endif()
