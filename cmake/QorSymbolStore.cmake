# qor_symbol_store(target [STORE dir])
# After `target` (a Windows program built with DWARF) is linked, writes its
# symbol file for the existing crash servers into the symbol store `dir`
# (default: symbols/ at the top of the tree) as
# <debug file>/<debug id>/<name>.sym. Call it before qor_embed_debug_info,
# whose step takes the DWARF out of the program.
function(qor_symbol_store target)
  if(NOT QOR_WIN32)
    return()
  endif()
  cmake_parse_arguments(S "" "STORE" "" ${ARGN})
  if(NOT S_STORE)
    set(S_STORE ${CMAKE_BINARY_DIR}/symbols)
  endif()
  # A changed symbol-file writer relinks the program, so its file is made anew.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QOR_CONVERT_HOST_DIR}/qor_symbol_store)
  qor_convert_after_link(${target} "Writing the symbol file"
    COMMAND ${QOR_CONVERT_HOST_DIR}/qor_symbol_store $<TARGET_FILE:${target}> ${S_STORE})
endfunction()
