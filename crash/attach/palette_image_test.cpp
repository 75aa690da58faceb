#include "crash/attach/palette_image.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace qor {
namespace {

std::vector<uint8_t> Pixels(const std::vector<uint32_t>& colors) {
  std::vector<uint8_t> bytes;
  for (uint32_t c : colors) {
    bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  }
  return bytes;
}

// A colour palette whose first entries are `colors` (0xRRGGBB) and whose
// other entries are far away from everything (pure blue).
std::array<uint8_t, kColorPaletteBytes> ColorPalette(const std::vector<uint32_t>& colors) {
  std::array<uint8_t, kColorPaletteBytes> palette{};
  for (size_t k = 0; k < 256; ++k) {
    const uint32_t c = k < colors.size() ? colors[k] : 0x0000FF;
    palette[3 * k] = uint8_t(c >> 16);
    palette[3 * k + 1] = uint8_t(c >> 8);
    palette[3 * k + 2] = uint8_t(c);
  }
  return palette;
}

TEST(ColorIndexRows, NearestEntryByChannelDifferencesLowerOnTies) {
  // 0x404040 is 30 from entry 1 and 30 from entry 2: the lower wins.
  // 0x908070 is nearest to entry 3 (distance 2).
  const auto palette = ColorPalette({0xFFFFFF, 0x4A4A4A, 0x363636, 0x918170});
  const std::vector<uint8_t> rows =
      ColorIndexRows(Pixels({0x404040, 0x908070, 0xFFFFFF}), 3, 1, palette);
  EXPECT_EQ(rows, (std::vector<uint8_t>{0, 1, 3, 0}));
}

TEST(ColorIndexRows, FirstPixelOfACellDecidesForTheWholeCell) {
  // 0x101010 and 0x171717 share a 5-5-5 cell; entry 1 is exactly the
  // second, but the first pixel's search chose entry 0 for the cell.
  const auto palette = ColorPalette({0x101010, 0x171717});
  const std::vector<uint8_t> rows =
      ColorIndexRows(Pixels({0x101010, 0x171717, 0x171717, 0x101010}), 2, 2, palette);
  EXPECT_EQ(rows, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0}));
  // In the other order the cell belongs to entry 1.
  const std::vector<uint8_t> swapped =
      ColorIndexRows(Pixels({0x171717, 0x101010}), 2, 1, palette);
  EXPECT_EQ(swapped, (std::vector<uint8_t>{0, 1, 1}));
}

TEST(MakeGrayPalette, SixteenLevelsFromTheSteps) {
  const auto palette = MakeGrayPalette(kGraySteps);
  const int levels[16] = {0, 28, 52, 73, 92, 109, 125, 140, 155, 170, 185, 199, 213, 227, 241, 255};
  for (int k = 0; k < 16; ++k) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(palette[3 * k + c], levels[k]) << k;
  }
}

TEST(GrayIndexRows, PacksTwoPerByteHighHalfFirstAndPadsOddRows) {
  const auto palette = MakeGrayPalette(kGraySteps);
  // Brightness of pure red, green and blue: 76, 150, 27. 76 is nearest
  // 73 (entry 3); 150 is nearer 155 (entry 8) than 140; 27 nearest 28
  // (entry 1). White is entry 15.
  const std::vector<uint8_t> rows =
      GrayIndexRows(Pixels({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0xFFFFFF, 0x000000}), 3, 2,
                    palette);
  EXPECT_EQ(rows, (std::vector<uint8_t>{0, 0x38, 0x10, 0, 0xFF, 0x00}));
}

TEST(GrayIndexRows, EqualDistanceGoesToTheDarkerLevel) {
  // Levels 0 and 28: gray 14 is 14 from both.
  const auto palette = MakeGrayPalette(kGraySteps);
  EXPECT_EQ(GrayIndexRows(Pixels({0x0E0E0E, 0x0F0F0F}), 2, 1, palette),
            (std::vector<uint8_t>{0, 0x01}));
}

}  // namespace
}  // namespace qor
