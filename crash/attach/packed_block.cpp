#include "crash/attach/packed_block.h"

#include "crash/attach/byte_order.h"
#include "crash/attach/crc32.h"
#include "crash/attach/raw_deflate.h"

namespace qor {
namespace {

// Deflate cannot expand data by more than 1032 times (a 258-byte match costs
// at least two bits), so a longer stated length is a lie.
constexpr uint64_t kMaxInflateRatio = 1032;

}  // namespace

std::vector<uint8_t> UnpackBlock(std::span<const uint8_t> packed) {
  if (packed.size() <= kPackedHeaderSize) return {};
  const uint32_t length = LoadLe32(packed.data());
  const uint32_t stored_crc = LoadLe32(packed.data() + 8);
  const std::span<const uint8_t> stream = packed.subspan(kPackedHeaderSize);
  if (length > stream.size() * kMaxInflateRatio) return {};
  std::vector<uint8_t> data(length);
  data.resize(InflateRaw(stream.data(), stream.size(), data.data(), data.size()));
  if (Crc32(data.data(), data.size()) != stored_crc) data.clear();
  return data;
}

std::vector<uint8_t> PackBlock(std::span<const uint8_t> data) {
  if (data.size() > UINT32_MAX) return {};
  std::vector<uint8_t> packed(kPackedHeaderSize + DeflateRawBound(data.size()));
  const int written = DeflateRaw(data.data(), data.size(), packed.data() + kPackedHeaderSize,
                                 packed.size() - kPackedHeaderSize);
  if (written <= 0) return {};
  packed.resize(kPackedHeaderSize + static_cast<size_t>(written));
  StoreLe32(packed.data(), static_cast<uint32_t>(data.size()));
  StoreLe32(packed.data() + 4, static_cast<uint32_t>(written));
  StoreLe32(packed.data() + 8, Crc32(data.data(), data.size()));
  return packed;
}

}  // namespace qor
