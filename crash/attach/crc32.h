// CRC-32 of ISO-HDLC (reflected polynomial 0xEDB88320, zlib's table).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// Runs `size` bytes through the register without inverting it on the way in
// or out: start with 0xFFFFFFFF and invert the end result to get the usual
// CRC-32 value (see Crc32).
uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t size);

// The usual CRC-32 value of one buffer.
inline uint32_t Crc32(const uint8_t* data, size_t size) {
  return ~Crc32Update(0xFFFFFFFFu, data, size);
}

}  // namespace qor
