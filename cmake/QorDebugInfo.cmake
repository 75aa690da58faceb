# qor_embed_debug_info(target)
# After `target` (a Windows program) is linked, keeps the unstripped file
# as <name>.debug.exe and rewrites the program with its functions, units and
# lines as resource QOR/EXCEPT and without DWARF. The converter is a host
# program; the Windows tree builds it as a small project of its own with
# the host compiler.
if(QOR_WIN32)
  include(ExternalProject)
  set(QOR_CONVERT_HOST_DIR ${CMAKE_BINARY_DIR}/qor_convert_host)
  ExternalProject_Add(qor_convert_host
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/qor_convert
    BINARY_DIR ${QOR_CONVERT_HOST_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
    INSTALL_COMMAND ""
    # Its sources are shared with this tree; let its own build decide what changed.
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${QOR_CONVERT_HOST_DIR}/qor_convert ${QOR_CONVERT_HOST_DIR}/qor_symbol_store)
endif()

# Runs the converter on `target` after each link, with the arguments that
# follow; the program needs DWARF line records for it, whatever the build type.
function(qor_convert_after_link target comment)
  target_compile_options(${target} PRIVATE -g)
  add_dependencies(${target} qor_convert_host)
  # A changed converter relinks the program, so its output is made anew.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QOR_CONVERT_HOST_DIR}/qor_convert)
  add_custom_command(TARGET ${target} POST_BUILD ${ARGN}
    COMMENT "${comment} of ${target}"
    VERBATIM)
endfunction()

function(qor_embed_debug_info target)
  if(NOT QOR_WIN32)
    return()
  endif()
  qor_convert_after_link(${target} "Embedding the debug information"
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}>
            $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.debug.exe
    COMMAND ${QOR_CONVERT_HOST_DIR}/qor_convert $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>)
endfunction()

# qor_companion_debug_info(target)
# As qor_embed_debug_info, but the program keeps its DWARF (for another
# tool that reads it) and the compact data goes beside it as <name>.qor,
# where the debug-information store looks for a companion file.
function(qor_companion_debug_info target)
  if(NOT QOR_WIN32)
    return()
  endif()
  qor_convert_after_link(${target} "Writing the companion debug information"
    COMMAND ${QOR_CONVERT_HOST_DIR}/qor_convert --companion $<TARGET_FILE:${target}>
            $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.qor)
endfunction()
