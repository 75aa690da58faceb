#include "crash/attach/palette_image.h"

#include <cstdlib>

namespace qor {
namespace {

constexpr int kColorCacheSize = 32 * 32 * 32;
constexpr int16_t kEmpty = -1;

int ColorCell(const uint8_t* pixel) {
  return (pixel[0] >> 3) * 1024 + (pixel[1] >> 3) * 32 + (pixel[2] >> 3);
}

uint8_t NearestColor(const uint8_t* pixel, std::span<const uint8_t, kColorPaletteBytes> palette) {
  int best = 0;
  int best_distance = 3 * 256;
  for (int k = 0; k < 256; ++k) {
    const int distance = std::abs(palette[3 * k] - pixel[2]) +
                         std::abs(palette[3 * k + 1] - pixel[1]) +
                         std::abs(palette[3 * k + 2] - pixel[0]);
    if (distance < best_distance) {
      best = k;
      best_distance = distance;
    }
  }
  return static_cast<uint8_t>(best);
}

int Brightness(const uint8_t* pixel) { return (77 * pixel[2] + 151 * pixel[1] + 28 * pixel[0]) >> 8; }

uint8_t NearestGray(int gray, std::span<const uint8_t, kGrayPaletteBytes> palette) {
  int best = 0;
  for (int k = 1; k < 16; ++k) {
    if (std::abs(palette[3 * k] - gray) < std::abs(palette[3 * best] - gray)) best = k;
  }
  return static_cast<uint8_t>(best);
}

}  // namespace

std::array<uint8_t, kGrayPaletteBytes> MakeGrayPalette(const std::array<uint8_t, 15>& steps) {
  std::array<uint8_t, kGrayPaletteBytes> palette{};
  int level = 0;
  for (size_t k = 0; k < 16; ++k) {
    if (k > 0) level += steps[k - 1];
    for (size_t c = 0; c < 3; ++c) palette[3 * k + c] = static_cast<uint8_t>(level);
  }
  return palette;
}

std::vector<uint8_t> ColorIndexRows(std::span<const uint8_t> pixels, uint32_t width,
                                    uint32_t height,
                                    std::span<const uint8_t, kColorPaletteBytes> palette) {
  std::vector<int16_t> cache(kColorCacheSize, kEmpty);
  std::vector<uint8_t> rows;
  rows.reserve((size_t{width} + 1) * height);
  const uint8_t* pixel = pixels.data();
  for (uint32_t y = 0; y < height; ++y) {
    rows.push_back(0);
    for (uint32_t x = 0; x < width; ++x, pixel += 4) {
      int16_t& entry = cache[ColorCell(pixel)];
      if (entry == kEmpty) entry = NearestColor(pixel, palette);
      rows.push_back(static_cast<uint8_t>(entry));
    }
  }
  return rows;
}

std::vector<uint8_t> GrayIndexRows(std::span<const uint8_t> pixels, uint32_t width,
                                   uint32_t height,
                                   std::span<const uint8_t, kGrayPaletteBytes> palette) {
  std::array<int16_t, 256> cache;
  cache.fill(kEmpty);
  const size_t row_bytes = 1 + (size_t{width} + 1) / 2;
  std::vector<uint8_t> rows(row_bytes * height, 0);
  const uint8_t* pixel = pixels.data();
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* out = rows.data() + y * row_bytes + 1;
    for (uint32_t x = 0; x < width; ++x, pixel += 4) {
      int16_t& entry = cache[Brightness(pixel)];
      if (entry == kEmpty) entry = NearestGray(Brightness(pixel), palette);
      out[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? entry << 4 : entry);
    }
  }
  return rows;
}

}  // namespace qor
