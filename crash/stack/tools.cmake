# qorTools: PE images, export tables, safe memory reads, the system's
# version, the message-handler window.
add_library(qor_stack_tools STATIC
  pe_image.cpp
  pe_exports.cpp
  unmangle.cpp
)
target_include_directories(qor_stack_tools PUBLIC ${PROJECT_SOURCE_DIR})

qor_add_test(qor_stack_tools_test
  SOURCES pe_exports_test.cpp pe_test_image.cpp unmangle_test.cpp
  LIBS qor_stack_tools)
