#include "crash/attach/screenshot_png.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "crash/attach/testing/libpng_decode.h"

namespace qor {
namespace {

using testing::DecodedPng;

struct Picture {
  uint32_t width;
  uint32_t height;
  std::vector<uint8_t> pixels;  // blue, green, red, ignored

  uint32_t Color(uint32_t x, uint32_t y) const {
    const uint8_t* p = &pixels[4 * (size_t{y} * width + x)];
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
};

// A desktop-like picture: flat background, a window with a title bar
// gradient in steps of one 5-5-5 cell, and a square of noise of `noise` pixels a side.
Picture Desktop(uint32_t width, uint32_t height, uint32_t noise) {
  Picture p{width, height, std::vector<uint8_t>(4 * size_t{width} * height)};
  uint32_t seed = 5;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t c = 0x3A6EA5;
      if (x > width / 8 && x < width * 3 / 4 && y > height / 8 && y < height * 3 / 4) {
        c = y < height / 8 + 20 ? 0x000080 | (x / 4 % 32) << 11 : 0xD4D0C8;
      }
      if (x < noise && y < noise) c = (seed = seed * 1103515245u + 12345u) >> 8;
      uint8_t* px = &p.pixels[4 * (size_t{y} * width + x)];
      px[0] = uint8_t(c);
      px[1] = uint8_t(c >> 8);
      px[2] = uint8_t(c >> 16);
      px[3] = 0x5A;
    }
  }
  return p;
}

DecodedPng Decode(const std::vector<uint8_t>& png) {
  DecodedPng decoded;
  std::string error;
  EXPECT_TRUE(testing::DecodeWithLibpng(png, decoded, error)) << error;
  return decoded;
}

TEST(NeedsGrayImage, SizeLimitsOfTheModes) {
  EXPECT_FALSE(NeedsGrayImage(2, 51200));
  EXPECT_TRUE(NeedsGrayImage(2, 51201));
  EXPECT_FALSE(NeedsGrayImage(3, 102400));
  EXPECT_TRUE(NeedsGrayImage(3, 102401));
  EXPECT_FALSE(NeedsGrayImage(4, 204800));
  EXPECT_TRUE(NeedsGrayImage(4, 204801));
  EXPECT_FALSE(NeedsGrayImage(5, 307200));
  EXPECT_TRUE(NeedsGrayImage(5, 307201));
  for (int mode : {0, 6, -1, 100}) EXPECT_FALSE(NeedsGrayImage(mode, 10'000'000)) << mode;
  // Mode 1 always; every mode when there is no colour image.
  EXPECT_TRUE(NeedsGrayImage(1, 1));
  for (int mode : {0, 2, 5, 6}) EXPECT_TRUE(NeedsGrayImage(mode, 0)) << mode;
}

TEST(EncodeScreenshot, ColourImageKeepsTheColoursOfAFewColourPicture) {
  const Picture p = Desktop(301, 203, 0);
  const DecodedPng png = Decode(EncodeScreenshot(p.pixels, p.width, p.height, 0));
  ASSERT_EQ(png.bit_depth, 8);
  ASSERT_EQ(png.palette.size(), 768u);
  ASSERT_EQ(png.indexes.size(), size_t{p.width} * p.height);
  // Fewer than 256 colours in distinct cells: each pixel keeps its colour.
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      ASSERT_EQ(png.Color(x, y), p.Color(x, y)) << x << "," << y;
    }
  }
  // Entries that no box filled are black.
  EXPECT_EQ(png.palette[765] | png.palette[766] | png.palette[767], 0);
}

TEST(EncodeScreenshot, GrayImageOfModeOne) {
  const Picture p = Desktop(99, 40, 20);
  const DecodedPng png = Decode(EncodeScreenshot(p.pixels, p.width, p.height, 1));
  ASSERT_EQ(png.bit_depth, 4);
  ASSERT_EQ(png.palette.size(), 48u);
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      const uint32_t c = p.Color(x, y);
      const int gray = (77 * int(c >> 16) + 151 * int(c >> 8 & 0xFF) + 28 * int(c & 0xFF)) >> 8;
      // The nearest of levels at most 28 apart.
      ASSERT_LE(std::abs(int(png.Color(x, y) & 0xFF) - gray), 14) << x << "," << y;
    }
  }
}

TEST(EncodeScreenshot, SizeLimitChoosesTheShorterImage) {
  // A 250-pixel square of noise makes the colour image about 64 KB and the
  // gray one about half: above the limit of mode 2, below that of mode 3.
  const Picture p = Desktop(640, 480, 250);
  const std::vector<uint8_t> color = EncodeScreenshot(p.pixels, p.width, p.height, 0);
  const std::vector<uint8_t> gray = EncodeScreenshot(p.pixels, p.width, p.height, 1);
  ASSERT_GT(color.size(), 51200u);
  ASSERT_LE(color.size(), 102400u);
  ASSERT_LT(gray.size(), color.size());
  EXPECT_EQ(EncodeScreenshot(p.pixels, p.width, p.height, 2), gray);
  for (int mode : {3, 4, 5, 6}) {
    EXPECT_EQ(EncodeScreenshot(p.pixels, p.width, p.height, mode), color) << mode;
  }
}

TEST(EncodeScreenshot, NothingForAnEmptyOrMismatchedPicture) {
  const Picture p = Desktop(8, 8, 0);
  EXPECT_TRUE(EncodeScreenshot(p.pixels, 0, 8, 0).empty());
  EXPECT_TRUE(EncodeScreenshot(p.pixels, 8, 0, 1).empty());
  EXPECT_TRUE(EncodeScreenshot(p.pixels, 8, 7, 0).empty());
  EXPECT_TRUE(EncodeScreenshot(p.pixels, 9, 8, 0).empty());
  EXPECT_TRUE(EncodeScreenshot({}, 0x10000, 0x10000, 0).empty());
  EXPECT_FALSE(EncodeScreenshot(p.pixels, 8, 8, 0).empty());
}

}  // namespace
}  // namespace qor
