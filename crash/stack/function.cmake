# Function analysis and the function listing (portable).
add_library(qor_function STATIC
  function_listing.cpp
  function_listing_lines.cpp
  function_noreturn.cpp
  function_parse.cpp
  function_range.cpp
)
target_include_directories(qor_function PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qor_function PUBLIC qor_disasm qor_stack_tools)
if(QOR_WIN32)
  target_sources(qor_function PRIVATE function_error_text_win32.cpp)
  target_link_libraries(qor_function PUBLIC qor_attach)
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
