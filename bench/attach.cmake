# CRC-32 against zlib's crc32, raw deflate at level 2 against zlib's default
# level on a screenshot-like image, and one Blowfish call on a short text.
find_package(ZLIB REQUIRED)
add_executable(attach_bench attach_bench.cpp)
target_link_libraries(attach_bench PRIVATE qor_attach ZLIB::ZLIB benchmark::benchmark)
