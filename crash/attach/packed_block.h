// Packed blocks: a 12-byte little-endian header (unpacked length, the
// length of the deflate stream, CRC-32 of the unpacked data) followed by a
// raw deflate stream. The debug information in the program's resources is
// stored this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor {

inline constexpr size_t kPackedHeaderSize = 12;

// The unpacked data; empty when the input holds 12 bytes or fewer, the
// stream is damaged or yields another length than stated, or the CRC-32
// differs. A stated length that no deflate stream of this size can reach is
// refused before any memory is reserved for it.
std::vector<uint8_t> UnpackBlock(std::span<const uint8_t> packed);

// Packs `data` so that UnpackBlock gives it back. The second header word
// holds the length of the deflate stream (readers ignore it). Empty when
// compression fails or `data` is too large to state in 32 bits.
std::vector<uint8_t> PackBlock(std::span<const uint8_t> data);

}  // namespace qor
