# Cross build for 64-bit Windows: the removal helper that Uninstall.exe
# carries, the engine under it, and their tests.
set(QOR_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
