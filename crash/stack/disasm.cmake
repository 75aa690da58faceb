# qorDisAsm: the x86 instruction decoder and instruction text (portable).
set(QOR_DISASM_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(qor_disasm STATIC
  ${QOR_DISASM_DIR}/disasm_tables.cpp
  ${QOR_DISASM_DIR}/disasm_x87_tables.cpp
  ${QOR_DISASM_DIR}/disasm_decode.cpp
  ${QOR_DISASM_DIR}/disasm_mnemonic.cpp
  ${QOR_DISASM_DIR}/disasm_operands.cpp
  ${QOR_DISASM_DIR}/disasm_text.cpp
  ${QOR_DISASM_DIR}/disasm_comment.cpp)
target_include_directories(qor_disasm PUBLIC ${PROJECT_SOURCE_DIR})

# Differential test against Zydis over real machine code: host tree only.
if(NOT QOR_WIN32)
  find_package(zydis QUIET)
  if(zydis_FOUND)
    qor_add_test(disasm_zydis_test SOURCES ${QOR_DISASM_DIR}/disasm_zydis_test.cpp
                 LIBS qor_disasm Zydis::Zydis)
    target_compile_definitions(disasm_zydis_test PRIVATE QOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  endif()
endif()

qor_add_test(disasm_decode_test SOURCES ${QOR_DISASM_DIR}/disasm_decode_test.cpp LIBS qor_disasm)
qor_add_test(disasm_text_test SOURCES ${QOR_DISASM_DIR}/disasm_text_test.cpp LIBS qor_disasm)
