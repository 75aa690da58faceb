// Packed blocks as read from a program's resources or a companion file.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "crash/attach/crc32.h"
#include "crash/attach/packed_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> unpacked = qor::UnpackBlock(std::span(data, size));
  if (unpacked.empty()) return 0;
  // Whatever comes out has the stated length and CRC.
  const uint32_t length = data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24;
  const uint32_t crc = data[8] | data[9] << 8 | data[10] << 16 | uint32_t{data[11]} << 24;
  if (unpacked.size() != length || qor::Crc32(unpacked.data(), unpacked.size()) != crc) {
    std::abort();
  }
  return 0;
}
