// Every file is decoded by libpng, which fails on any CRC, zlib or format
// fault and (here) on any warning, and compared with what was written.
#include "crash/attach/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "crash/attach/testing/libpng_decode.h"
#include "crash/attach/testing/png_reader.h"

namespace qor {
namespace {

using testing::DecodedPng;

struct Image {
  uint32_t width;
  uint32_t height;
  int bits;
  std::vector<uint8_t> palette;
  std::vector<uint8_t> indexes;  // one per pixel
  std::vector<uint8_t> rows;     // as the encoder takes them
};

// A pseudo-random image with indexes below 2^bits, packed into PNG rows.
Image MakeImage(uint32_t width, uint32_t height, int bits) {
  Image image{width, height, bits, {}, {}, {}};
  const int entries = 1 << bits;
  for (int k = 0; k < entries; ++k) {
    image.palette.insert(image.palette.end(),
                         {uint8_t(k * 7), uint8_t(255 - k), uint8_t(k * 13 + 1)});
  }
  uint32_t seed = width * 31 + height;
  for (uint32_t y = 0; y < height; ++y) {
    image.rows.push_back(0);
    for (uint32_t x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      // Runs and noise, so that deflate finds both matches and literals.
      const uint8_t index = uint8_t(((x / 5) % 3 == 0 ? seed >> 16 : y) % entries);
      image.indexes.push_back(index);
      if (bits == 8) {
        image.rows.push_back(index);
      } else if (x % 2 == 0) {
        image.rows.push_back(uint8_t(index << 4));
      } else {
        image.rows.back() |= index;
      }
    }
  }
  return image;
}

void ExpectDecodesTo(const std::vector<uint8_t>& png, const Image& image) {
  DecodedPng decoded;
  std::string error;
  ASSERT_TRUE(testing::DecodeWithLibpng(png, decoded, error)) << error;
  EXPECT_EQ(decoded.width, image.width);
  EXPECT_EQ(decoded.height, image.height);
  EXPECT_EQ(decoded.bit_depth, image.bits);
  EXPECT_EQ(decoded.palette, image.palette);
  EXPECT_EQ(decoded.indexes, image.indexes);
}

TEST(EncodePng, LibpngReadsBackEveryIndexAtBothDepths) {
  const uint32_t sizes[][2] = {{1, 1}, {2, 1}, {3, 5}, {8, 8}, {17, 3}, {640, 7}, {1, 3000}};
  for (int bits : {8, 4}) {
    for (const auto& size : sizes) {
      SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " " << bits << " bits");
      const Image image = MakeImage(size[0], size[1], bits);
      ExpectDecodesTo(EncodePng(image.width, image.height, image.palette, image.rows), image);
    }
  }
}

TEST(EncodePng, VeryWideRowsOfBothDepths) {
  for (int bits : {8, 4}) {
    const Image image = MakeImage(100001, 2, bits);
    ExpectDecodesTo(EncodePng(image.width, image.height, image.palette, image.rows), image);
  }
}

TEST(EncodePng, LayoutOfTheFile) {
  const Image image = MakeImage(33, 9, 8);
  const std::vector<uint8_t> png = EncodePng(image.width, image.height, image.palette, image.rows);
  DecodedPng decoded;
  std::string error;
  ASSERT_TRUE(testing::ReadPalettePng(png, decoded, error)) << error;
  EXPECT_EQ(decoded.chunks, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
  // IDAT: length and type at 8 + 25 + 12 + 768, then 78 01, the raw
  // stream and the Adler-32 of the rows.
  const size_t idat = 8 + 25 + 12 + 768;
  ASSERT_EQ(std::string(png.begin() + idat + 4, png.begin() + idat + 8), "IDAT");
  const size_t length = size_t{png[idat + 2]} << 8 | png[idat + 3];
  EXPECT_EQ(png[idat + 8], 0x78);
  EXPECT_EQ(png[idat + 9], 0x01);
  const uLong adler = adler32(1, image.rows.data(), static_cast<uInt>(image.rows.size()));
  const uint8_t* trailer = &png[idat + 8 + length - 4];
  EXPECT_EQ(uLong{trailer[0]} << 24 | trailer[1] << 16 | trailer[2] << 8 | trailer[3], adler);
  // IEND with its well-known CRC closes the file.
  const std::vector<uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(std::vector<uint8_t>(png.end() - 12, png.end()), iend);
}

TEST(EncodePng, NoPaletteChunkForAnEmptyPalette) {
  const Image image = MakeImage(4, 4, 4);
  const std::vector<uint8_t> png = EncodePng(4, 4, {}, image.rows);
  DecodedPng decoded;
  std::string error;
  ASSERT_TRUE(testing::ReadPalettePng(png, decoded, error)) << error;
  EXPECT_EQ(decoded.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(decoded.bit_depth, 4);
}

TEST(AppendPngChunk, LengthTypeDataAndCrc) {
  std::vector<uint8_t> png = {0xAB};
  const uint8_t data[] = {1, 2, 3};
  AppendPngChunk(png, "tEXt", data);
  ASSERT_EQ(png.size(), 1u + 4 + 4 + 3 + 4);
  EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + 12),
            (std::vector<uint8_t>{0xAB, 0, 0, 0, 3, 't', 'E', 'X', 't', 1, 2, 3}));
  const uLong crc = crc32(0, png.data() + 5, 7);
  EXPECT_EQ(uLong{png[12]} << 24 | png[13] << 16 | png[14] << 8 | png[15], crc);
}

}  // namespace
}  // namespace qor
