# Cross build for 32-bit Windows: Uninstall.exe and everything else.
set(QOR_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
