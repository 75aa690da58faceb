# The screenshot's quantiser against libimagequant and its PNG writer
# against libpng, on a capture of Wine dialogs and on a busy desktop that
# ImageMagick composes at build time (a plasma wallpaper under its built-in
# logo picture and the dialogs). data/wine-dialogs.png is the whole Xvfb
# screen (import -window root) with Uninstall.exe, Wine's notepad and
# winecfg open under Wine.
find_package(PNG REQUIRED)
find_package(OpenMP REQUIRED)
find_library(QOR_IMAGEQUANT imagequant REQUIRED)
find_program(QOR_CONVERT convert REQUIRED)
set(busy ${CMAKE_CURRENT_BINARY_DIR}/busy-desktop.png)
set(dialogs ${CMAKE_CURRENT_LIST_DIR}/data/wine-dialogs.png)
add_custom_command(OUTPUT ${busy}
  COMMAND ${QOR_CONVERT} -size 1024x768 -seed 7 plasma:fractal
          ( logo: -resize 560x420 ) -geometry +24+24 -composite
          ( ${dialogs} -crop 556x346+8+8 +repage ) -geometry +440+380 -composite
          -alpha off PNG24:${busy}
  DEPENDS ${dialogs}
  COMMENT "Composing the busy desktop picture"
  VERBATIM)
add_custom_target(screenshot_bench_pictures DEPENDS ${busy})

add_library(screenshot_pictures STATIC ${CMAKE_CURRENT_LIST_DIR}/screenshot_pictures.cpp)
add_dependencies(screenshot_pictures screenshot_bench_pictures)
target_link_libraries(screenshot_pictures PUBLIC qor_attach PNG::PNG ${QOR_IMAGEQUANT}
                      OpenMP::OpenMP_CXX)
target_compile_definitions(screenshot_pictures PRIVATE
  QOR_BENCH_DATA="${CMAKE_CURRENT_LIST_DIR}/data" QOR_BENCH_GENERATED="${CMAKE_CURRENT_BINARY_DIR}")

add_executable(screenshot_bench ${CMAKE_CURRENT_LIST_DIR}/screenshot_bench.cpp)
target_link_libraries(screenshot_bench PRIVATE screenshot_pictures benchmark::benchmark)

# The quality figures as a test that fails when ours drop.
qor_add_test(screenshot_quality_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/screenshot_quality_test.cpp LIBS screenshot_pictures)
