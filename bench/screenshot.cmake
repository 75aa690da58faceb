# The screenshot's quantiser against libimagequant and its PNG writer
# against libpng, on a capture of Wine dialogs and on a busy desktop that
# ImageMagick composes at build time (a plasma wallpaper under its built-in
# logo picture and the dialogs).
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
add_executable(screenshot_bench ${CMAKE_CURRENT_LIST_DIR}/screenshot_bench.cpp)
add_dependencies(screenshot_bench screenshot_bench_pictures)
target_link_libraries(screenshot_bench PRIVATE qor_attach PNG::PNG ${QOR_IMAGEQUANT}
                      OpenMP::OpenMP_CXX benchmark::benchmark)
target_compile_definitions(screenshot_bench PRIVATE
  QOR_BENCH_DATA="${CMAKE_CURRENT_LIST_DIR}/data" QOR_BENCH_GENERATED="${CMAKE_CURRENT_BINARY_DIR}")
