# qorTools: PE images, export tables, safe memory reads, the system's
# version, the message-handler window.
add_library(qor_stack_tools STATIC
  cached_memory.cpp
  file_version.cpp
  method_thunk.cpp
  msg_handlers.cpp
  os_version.cpp
  pe_exports.cpp
  pe_image.cpp
  read_probe.cpp
  unmangle.cpp
)
target_include_directories(qor_stack_tools PUBLIC ${PROJECT_SOURCE_DIR})

qor_add_test(qor_stack_tools_test
  SOURCES
    cached_memory_test.cpp
    msg_handlers_test.cpp
    os_version_test.cpp
    pe_exports_test.cpp
    pe_test_image.cpp
    read_probe_test.cpp
    unmangle_test.cpp
  LIBS qor_stack_tools)

if(QOR_WIN32)
  add_library(qor_stack_tools_win32 STATIC
    file_version_win32.cpp
    free_resources_win32.cpp
    live_exports_win32.cpp
    method_thunk_win32.cpp
    module_tools_win32.cpp
    msg_handler_window_win32.cpp
    os_version_win32.cpp
    safe_read_win32.cpp
    thread_obfuscator_win32.cpp
  )
  target_link_libraries(qor_stack_tools_win32 PUBLIC qor_stack_tools version)
endif()

if(QOR_WIN32)
  qor_add_test(qor_stack_tools_win32_test
    SOURCES
      live_exports_win32_test.cpp
      method_thunk_win32_test.cpp
      module_tools_win32_test.cpp
      msg_handler_window_win32_test.cpp
      os_version_win32_test.cpp
      safe_read_win32_test.cpp
    LIBS qor_stack_tools_win32)
  # The child runs in Wine's win98 mode; the test starts it from its own folder.
  add_executable(os_version_9x_win32_test_child os_version_9x_win32_test_child.cpp)
  target_link_libraries(os_version_9x_win32_test_child PRIVATE qor_stack_tools_win32)
  qor_add_test(os_version_9x_win32_test SOURCES os_version_9x_win32_test.cpp)
  add_dependencies(os_version_9x_win32_test os_version_9x_win32_test_child)
endif()
