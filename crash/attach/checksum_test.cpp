// CRC-32, Adler-32 and base64 against published values and against zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "crash/attach/adler32.h"
#include "crash/attach/base64.h"
#include "crash/attach/crc32.h"

namespace qor {
namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::vector<uint8_t> PseudoRandom(size_t size, uint32_t seed) {
  std::vector<uint8_t> data(size);
  for (uint8_t& b : data) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return data;
}

TEST(Crc32, CheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(Bytes(check), check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

TEST(Crc32, UpdateDoesNotInvertTheRegister) {
  const std::string text = "123456789";
  // Split at every point: the register carries over without inversion.
  for (size_t split = 0; split <= text.size(); ++split) {
    uint32_t reg = Crc32Update(0xFFFFFFFFu, Bytes(text), split);
    reg = Crc32Update(reg, Bytes(text) + split, text.size() - split);
    EXPECT_EQ(~reg, 0xCBF43926u) << split;
  }
  EXPECT_EQ(Crc32Update(0x12345678u, nullptr, 0), 0x12345678u);
}

TEST(Crc32, MatchesZlibAtEveryLengthAndAlignment) {
  const std::vector<uint8_t> data = PseudoRandom(300, 7);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t size = 0; size + offset <= data.size(); size += 13) {
      const uLong want = crc32(0, data.data() + offset, static_cast<uInt>(size));
      ASSERT_EQ(Crc32(data.data() + offset, size), want) << offset << " " << size;
    }
  }
}

TEST(Adler32, KnownValuesAndLongInput) {
  const std::string wikipedia = "Wikipedia";
  EXPECT_EQ(ComputeAdler32(Bytes(wikipedia), wikipedia.size()), 0x11E60398u);
  EXPECT_EQ(ComputeAdler32(nullptr, 0), 1u);
  // All 0xFF bytes stress the sums between modulo steps.
  const std::vector<uint8_t> ones(100000, 0xFF);
  EXPECT_EQ(ComputeAdler32(ones.data(), ones.size()),
            adler32(1, ones.data(), static_cast<uInt>(ones.size())));
  const std::vector<uint8_t> data = PseudoRandom(12345, 3);
  EXPECT_EQ(ComputeAdler32(data.data(), data.size()),
            adler32(1, data.data(), static_cast<uInt>(data.size())));
}

TEST(Base64, Rfc4648Vectors) {
  const char* const vectors[][2] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& v : vectors) EXPECT_EQ(Base64EncodeText(v[0]), v[1]) << v[0];
}

TEST(Base64, HighBytesUseTheWholeAlphabet) {
  const uint8_t bytes[] = {0xFB, 0xFF, 0xBF, 0x00};
  EXPECT_EQ(Base64Encode(bytes, 3), "+/+/");
  EXPECT_EQ(Base64Encode(bytes, 4), "+/+/AA==");
  EXPECT_EQ(Base64Encode(bytes, 0), "");
}

}  // namespace
}  // namespace qor
