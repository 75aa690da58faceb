// Little-endian fields of a file or section held in memory, read only after
// checking that every byte lies inside it. Offsets are 64-bit so that an
// offset plus a length read from the data cannot wrap.
#pragma once

#include <cstdint>
#include <span>

namespace qor {

// True when [offset, offset + size) lies inside `data`.
inline bool Inside(std::span<const uint8_t> data, uint64_t offset, uint64_t size) {
  return offset <= data.size() && size <= data.size() - offset;
}

inline bool Read8(std::span<const uint8_t> data, uint64_t offset, uint8_t& value) {
  if (!Inside(data, offset, 1)) return false;
  value = data[offset];
  return true;
}

inline bool Read16(std::span<const uint8_t> data, uint64_t offset, uint16_t& value) {
  if (!Inside(data, offset, 2)) return false;
  value = static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
  return true;
}

inline bool Read32(std::span<const uint8_t> data, uint64_t offset, uint32_t& value) {
  if (!Inside(data, offset, 4)) return false;
  value = uint32_t{data[offset]} | uint32_t{data[offset + 1]} << 8 |
          uint32_t{data[offset + 2]} << 16 | uint32_t{data[offset + 3]} << 24;
  return true;
}

}  // namespace qor
