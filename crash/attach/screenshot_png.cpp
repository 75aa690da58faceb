#include "crash/attach/screenshot_png.h"

#include <array>
#include <utility>

#include "crash/attach/color_quantizer.h"
#include "crash/attach/palette_image.h"
#include "crash/attach/png_writer.h"

namespace qor {
namespace {

constexpr int kGrayOnlyMode = 1;

// The colour image's size above which the gray image is made too, by
// mode; other modes never make it (unless the colour image is missing).
constexpr std::array<std::pair<int, size_t>, 4> kSizeLimits = {{
    {2, 51200},
    {3, 102400},
    {4, 204800},
    {5, 307200},
}};

}  // namespace

bool NeedsGrayImage(int mode, size_t color_size) {
  if (mode == kGrayOnlyMode || color_size == 0) return true;
  for (const auto& [limited_mode, limit] : kSizeLimits) {
    if (mode == limited_mode) return color_size > limit;
  }
  return false;
}

std::vector<uint8_t> EncodeColorScreenshot(std::span<const uint8_t> pixels, uint32_t width,
                                           uint32_t height) {
  // Zero-filled: the entries no box fills are black.
  std::array<uint8_t, kColorPaletteBytes> palette{};
  QuantizeColors(pixels.data(), pixels.size() / 4, palette.data(), kMaxQuantizedColors);
  return EncodePng(width, height, palette, ColorIndexRows(pixels, width, height, palette));
}

std::vector<uint8_t> EncodeGrayScreenshot(std::span<const uint8_t> pixels, uint32_t width,
                                          uint32_t height) {
  const std::array<uint8_t, kGrayPaletteBytes> palette = MakeGrayPalette(kGraySteps);
  return EncodePng(width, height, palette, GrayIndexRows(pixels, width, height, palette));
}

std::vector<uint8_t> EncodeScreenshot(std::span<const uint8_t> pixels, uint32_t width,
                                      uint32_t height, int mode) {
  const uint64_t count = uint64_t{width} * height;
  if (count == 0 || count > kMaxScreenshotPixels || pixels.size() != 4 * count) return {};
  std::vector<uint8_t> png;
  if (mode != kGrayOnlyMode) png = EncodeColorScreenshot(pixels, width, height);
  if (!NeedsGrayImage(mode, png.size())) return png;
  std::vector<uint8_t> gray = EncodeGrayScreenshot(pixels, width, height);
  if (!gray.empty() && (png.empty() || gray.size() < png.size())) png = std::move(gray);
  return png;
}

}  // namespace qor
