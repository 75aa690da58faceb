#include "crash/attach/packed_block.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "crash/attach/crc32.h"
#include "crash/attach/raw_deflate.h"

namespace qor {
namespace {

// Text that compresses well but not trivially, like a debug-info payload.
std::vector<uint8_t> SampleData() {
  std::string text;
  for (int i = 0; i < 2000; ++i) {
    text += "unit" + std::to_string(i % 37) + ".cpp:" + std::to_string(i * 7) + "\n";
  }
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(DeflateRawBound(data.size()));
  const int n = DeflateRaw(data.data(), data.size(), out.data(), out.size());
  EXPECT_GT(n, 0);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

TEST(RawDeflate, RoundTripAndRawFraming) {
  const std::vector<uint8_t> data = SampleData();
  const std::vector<uint8_t> packed = Deflate(data);
  ASSERT_LT(packed.size(), data.size() / 3);
  std::vector<uint8_t> back(data.size());
  EXPECT_EQ(InflateRaw(packed.data(), packed.size(), back.data(), back.size()), data.size());
  EXPECT_EQ(back, data);
  // A raw stream has no zlib header: zlib's own framed reader rejects it.
  uLongf size = static_cast<uLongf>(back.size());
  EXPECT_NE(uncompress(back.data(), &size, packed.data(), packed.size()), Z_OK);
}

TEST(RawDeflate, TooSmallDestinationFails) {
  const std::vector<uint8_t> data = SampleData();
  std::vector<uint8_t> out(16);
  EXPECT_LE(DeflateRaw(data.data(), data.size(), out.data(), out.size()), 0);
}

TEST(InflateRaw, RefusesWhatItCannotFullyCheck) {
  const std::vector<uint8_t> data = SampleData();
  std::vector<uint8_t> stream = Deflate(data);
  std::vector<uint8_t> out(data.size() + 1);
  // Expected length too large or too small.
  EXPECT_EQ(InflateRaw(stream.data(), stream.size(), out.data(), data.size() + 1), 0u);
  EXPECT_EQ(InflateRaw(stream.data(), stream.size(), out.data(), data.size() - 1), 0u);
  // Bytes behind the end of the stream are not consumed.
  std::vector<uint8_t> trailing = stream;
  trailing.push_back(0);
  EXPECT_EQ(InflateRaw(trailing.data(), trailing.size(), out.data(), data.size()), 0u);
  // A cut stream.
  EXPECT_EQ(InflateRaw(stream.data(), stream.size() / 2, out.data(), data.size()), 0u);
  // Garbage: block type 3 does not exist.
  const uint8_t bad[] = {0x07, 0x00};
  EXPECT_EQ(InflateRaw(bad, sizeof(bad), out.data(), 4), 0u);
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> block, uint32_t crc) {
  for (int i = 0; i < 4; ++i) block[8 + i] = static_cast<uint8_t>(crc >> (8 * i));
  return block;
}

TEST(PackedBlock, RoundTripOfRealData) {
  const std::vector<uint8_t> data = SampleData();
  const std::vector<uint8_t> block = PackBlock(data);
  ASSERT_GT(block.size(), kPackedHeaderSize);
  EXPECT_EQ(block[0] | block[1] << 8 | block[2] << 16 | block[3] << 24, data.size());
  EXPECT_EQ(UnpackBlock(block), data);
}

TEST(PackedBlock, EveryFailureGivesEmpty) {
  const std::vector<uint8_t> data = SampleData();
  const std::vector<uint8_t> block = PackBlock(data);
  const uint32_t crc = Crc32(data.data(), data.size());
  EXPECT_TRUE(UnpackBlock(WithCrc(block, crc ^ 1)).empty());
  EXPECT_TRUE(UnpackBlock(std::span(block).first(kPackedHeaderSize)).empty());
  EXPECT_TRUE(UnpackBlock(std::span(block).first(kPackedHeaderSize + 10)).empty());
  std::vector<uint8_t> longer = block;
  longer[0] ^= 1;
  EXPECT_TRUE(UnpackBlock(longer).empty());
}

TEST(PackedBlock, ImpossibleLengthIsRefusedBeforeAllocating) {
  // Four gigabytes stated for a two-byte stream: no deflate stream of that
  // size can produce it, so nothing is reserved (without the check this
  // test would allocate and clear four gigabytes).
  std::vector<uint8_t> block = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x00};
  EXPECT_TRUE(UnpackBlock(block).empty());
  // The empty stream with a zero length and CRC 0 is consistent but empty.
  block[0] = block[1] = block[2] = block[3] = 0;
  EXPECT_TRUE(UnpackBlock(block).empty());
}

TEST(PackedBlock, ReadsBlocksOfAnyWriterWhateverTheSecondWord) {
  const std::vector<uint8_t> data = {'q', 'o', 'r', 'q', 'o', 'r', 'q', 'o', 'r'};
  std::vector<uint8_t> block = PackBlock(data);
  block[4] = 0xAA;
  block[7] = 0x55;
  EXPECT_EQ(UnpackBlock(block), data);
}

}  // namespace
}  // namespace qor
