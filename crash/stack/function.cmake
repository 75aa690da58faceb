# Function analysis and the function listing (portable).
add_library(qor_function STATIC
  function_case_table.cpp
  function_listing.cpp
  function_listing_lines.cpp
  function_noreturn.cpp
  function_parse.cpp
  function_range.cpp
)
target_include_directories(qor_function PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qor_function PUBLIC qor_disasm qor_stack_tools)
if(QOR_WIN32)
  target_sources(qor_function PRIVATE function_error_text_win32.cpp function_listing_win32.cpp)
  target_link_libraries(qor_function PUBLIC qor_attach qor_stack_tools_win32 qor_raise)
else()
  target_sources(qor_function PRIVATE function_error_text.cpp)
endif()

qor_add_test(function_test
  SOURCES
    function_parse_test.cpp
    function_listing_test.cpp
    function_noreturn_test.cpp
    pe_test_image.cpp
  LIBS qor_function)

if(QOR_WIN32)
  qor_add_test(function_win32_test SOURCES function_listing_win32_test.cpp LIBS qor_function)
endif()

# The oracle: real GCC output, analysed on the host and compared with the
# compiler's debug information.
if(NOT QOR_WIN32)
  add_library(qor_function_pe_file STATIC function_pe_file.cpp)
  target_link_libraries(qor_function_pe_file PUBLIC qor_stack_tools)
  find_program(QOR_MINGW_GXX i686-w64-mingw32-g++)
  find_program(QOR_MINGW_NM i686-w64-mingw32-nm)
  find_program(QOR_DWARFDUMP llvm-dwarfdump)
  if(QOR_MINGW_GXX AND QOR_MINGW_NM AND QOR_DWARFDUMP)
    set(samples)
    foreach(level O0 O2)
      set(sample ${CMAKE_CURRENT_BINARY_DIR}/function_oracle_${level}.exe)
      add_custom_command(OUTPUT ${sample}
        COMMAND ${QOR_MINGW_GXX} -${level} -g -std=c++20 -static -o ${sample}
                ${CMAKE_CURRENT_SOURCE_DIR}/function_oracle_sample_win32.cpp
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/function_oracle_sample_win32.cpp
        COMMENT "Compiling the function oracle's sample at -${level}")
      list(APPEND samples ${sample})
    endforeach()
    add_custom_target(function_oracle_samples DEPENDS ${samples})
    qor_add_test(function_oracle_test SOURCES function_oracle_test.cpp
                 LIBS qor_function qor_function_pe_file)
    add_dependencies(function_oracle_test function_oracle_samples)
    target_compile_definitions(function_oracle_test PRIVATE
      QOR_ORACLE_DIR="${CMAKE_CURRENT_BINARY_DIR}"
      QOR_UNINSTALL_EXE="${PROJECT_SOURCE_DIR}/build/win32/app/Uninstall.debug.exe"
      QOR_DWARFDUMP="${QOR_DWARFDUMP}" QOR_NM="${QOR_MINGW_NM}")
  endif()
endif()
