# GoogleTest from the machine's sources, built for whichever tree this is,
# and qor_add_test(), which every unit test uses.
set(QOR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QOR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(QOR_WIN32)
  # The win32 thread model of our MinGW has no std::mutex, on which
  # GoogleTest's Notification is built; give it one made of Win32 calls.
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PUBLIC
      -include ${PROJECT_SOURCE_DIR}/cmake/gtest_win32_notification.h
      -DGTEST_HAS_NOTIFICATION_=1)
  endforeach()
endif()

# qor_add_test(NAME SOURCES src... [LIBS lib...] [NO_MAIN] [LABELS l...])
# Builds one test program and registers it with CTest. In the Windows tree
# CTest runs it through the Wine wrapper (CMAKE_CROSSCOMPILING_EMULATOR).
function(qor_add_test name)
  cmake_parse_arguments(T "NO_MAIN" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
