#include "crash/attach/color_quantizer.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

namespace qor {
namespace {

// Pixels in capture order (blue, green, red, ignored) from 0xRRGGBB values.
std::vector<uint8_t> Pixels(const std::vector<uint32_t>& colors) {
  std::vector<uint8_t> bytes;
  for (uint32_t c : colors) {
    bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0xEE});
  }
  return bytes;
}

// Entry k of a palette as 0xRRGGBB.
uint32_t Entry(const std::array<uint8_t, 768>& palette, int k) {
  return uint32_t{palette[3 * k]} << 16 | uint32_t{palette[3 * k + 1]} << 8 | palette[3 * k + 2];
}

struct Result {
  int count;
  std::array<uint8_t, 768> palette;
};

// Quantises into a palette prefilled with 0xCC, so that unwritten entries
// show.
Result Quantize(const std::vector<uint8_t>& pixels, int colors = 256) {
  Result r;
  r.palette.fill(0xCC);
  r.count = QuantizeColors(pixels.data(), pixels.size() / 4, r.palette.data(), colors);
  return r;
}

constexpr uint32_t kUnwritten = 0xCCCCCC;

TEST(QuantizeColors, SingleColourGivesOneEntryAndLeavesTheRest) {
  const Result r = Quantize(Pixels(std::vector<uint32_t>(500, 0x3A7FC1)));
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(Entry(r.palette, 0), 0x3A7FC1u);
  for (int k = 1; k < 256; ++k) ASSERT_EQ(Entry(r.palette, k), kUnwritten) << k;
}

TEST(QuantizeColors, TwoColoursDifferingInBlueAreSplitAlongBlue) {
  std::vector<uint32_t> colors(30, 0x204060);
  colors.insert(colors.end(), 10, 0x2040E0);
  const Result r = Quantize(Pixels(colors));
  ASSERT_EQ(r.count, 2);
  // The old box keeps the lower part of the blue axis.
  EXPECT_EQ(Entry(r.palette, 0), 0x204060u);
  EXPECT_EQ(Entry(r.palette, 1), 0x2040E0u);
  EXPECT_EQ(Entry(r.palette, 2), kUnwritten);
}

TEST(QuantizeColors, ColoursOfOneCellAreNeverSeparated) {
  // Same top five bits in every channel: one cell, one entry, their mean
  // rounded down.
  const Result one = Quantize(Pixels({0x081018, 0x0F171F, 0x0F171F}));
  EXPECT_EQ(one.count, 1);
  EXPECT_EQ(Entry(one.palette, 0), 0x0C141Cu);
  // A box that cannot be cut next to one that can: the failed cut leaves
  // its slot free and no box is counted for it.
  const Result two = Quantize(Pixels({0x081018, 0x0F171F, 0xF0F0F0}));
  EXPECT_EQ(two.count, 2);
  EXPECT_EQ(Entry(two.palette, 0), 0x0B131Bu);
  EXPECT_EQ(Entry(two.palette, 1), 0xF0F0F0u);
  EXPECT_EQ(Entry(two.palette, 2), kUnwritten);
}

TEST(QuantizeColors, DistinctCellsUpToTheLimitEachGetTheirOwnEntry) {
  // 200 colours in 200 different cells, with uneven counts: every box with
  // more than one occupied cell has a variance, so cutting goes on until
  // each colour is alone.
  std::vector<uint32_t> colors;
  std::set<uint32_t> want;
  uint32_t seed = 1;
  while (want.size() < 200) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t c = (seed >> 8) & 0xF8F8F8;  // cell corners: distinct cells
    if (!want.insert(c).second) continue;
    colors.insert(colors.end(), 1 + want.size() % 7, c);
  }
  const Result r = Quantize(Pixels(colors));
  ASSERT_EQ(r.count, 200);
  std::set<uint32_t> got;
  for (int k = 0; k < r.count; ++k) got.insert(Entry(r.palette, k));
  EXPECT_EQ(got, want);
  EXPECT_EQ(Entry(r.palette, 200), kUnwritten);
}

TEST(QuantizeColors, StopsAtTheRequestedNumberOfEntries) {
  std::vector<uint32_t> colors;
  for (uint32_t i = 0; i < 64; ++i) colors.push_back(i * 0x040404);
  const Result r = Quantize(Pixels(colors), 5);
  EXPECT_EQ(r.count, 5);
  EXPECT_EQ(Entry(r.palette, 5), kUnwritten);
  // Each entry is a mean of gray pixels, so gray itself.
  for (int k = 0; k < 5; ++k) EXPECT_EQ(Entry(r.palette, k) % 0x010101, 0u) << k;
}

TEST(QuantizeColors, RefusesNoPixelsAndCountsOutOfRange) {
  const std::vector<uint8_t> pixels = Pixels({0x102030, 0x405060});
  EXPECT_EQ(Quantize({}).count, 0);
  EXPECT_EQ(Quantize(pixels, 0).count, 0);
  EXPECT_EQ(Quantize(pixels, 257).count, 0);
  const Result r = Quantize(pixels, 1);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(Entry(r.palette, 0), 0x283848u);
}

TEST(QuantizeColors, SumsOfALargeScreenDoNotWrap) {
  // 17 million white pixels: a channel sum passes 2^32.
  const size_t count = 17'000'000;
  std::vector<uint8_t> pixels(4 * count, 0xFF);
  for (size_t i = 0; i < count / 2; ++i) pixels[4 * i] = 0x00;  // half yellow
  const Result r = Quantize(pixels);
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(Entry(r.palette, 0), 0xFFFF00u);
  EXPECT_EQ(Entry(r.palette, 1), 0xFFFFFFu);
}

}  // namespace
}  // namespace qor
