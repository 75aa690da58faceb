// Packed blocks as read from a program's resources or a companion file.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "crash/attach/byte_order.h"
#include "crash/attach/crc32.h"
#include "crash/attach/packed_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> unpacked = qor::UnpackBlock(std::span(data, size));
  if (unpacked.empty()) return 0;
  // Whatever comes out has the stated length and CRC.
  if (unpacked.size() != qor::LoadLe32(data) ||
      qor::Crc32(unpacked.data(), unpacked.size()) != qor::LoadLe32(data + 8)) {
    std::abort();
  }
  return 0;
}
