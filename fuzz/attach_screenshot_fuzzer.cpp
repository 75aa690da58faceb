// The quantiser and the screenshot encoding over arbitrary pixels, sizes,
// palette sizes and modes; every PNG is decoded again by libpng.
// Input: byte 0 the mode, byte 1 the number of colours less one, bytes 2-3
// the width (little-endian), then the pixels; the height is what fits.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "crash/attach/color_quantizer.h"
#include "crash/attach/screenshot_png.h"
#include "crash/attach/testing/libpng_decode.h"

namespace {

// Every entry the quantiser writes is a mean of pixels, so it lies within
// their range in each channel; it writes no more entries than boxes.
void CheckQuantizer(std::span<const uint8_t> pixels, int colors) {
  std::array<uint8_t, 768> palette;
  palette.fill(0xA5);
  const int count = qor::QuantizeColors(pixels.data(), pixels.size() / 4, palette.data(), colors);
  if (count < 0 || count > colors || (pixels.size() >= 4 && count == 0)) std::abort();
  std::array<int, 3> low = {255, 255, 255};
  std::array<int, 3> high = {0, 0, 0};
  for (size_t i = 0; i + 4 <= pixels.size(); i += 4) {
    for (int c = 0; c < 3; ++c) {
      low[c] = std::min<int>(low[c], pixels[i + 2 - c]);
      high[c] = std::max<int>(high[c], pixels[i + 2 - c]);
    }
  }
  for (int k = 0; k < 256; ++k) {
    const bool untouched = palette[3 * k] == 0xA5 && palette[3 * k + 1] == 0xA5 &&
                           palette[3 * k + 2] == 0xA5;
    if (k >= count && !untouched) std::abort();
    for (int c = 0; c < 3 && k < count && !untouched; ++c) {
      if (palette[3 * k + c] < low[c] || palette[3 * k + c] > high[c]) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int mode = static_cast<int8_t>(data[0]);
  const int colors = data[1] + 1;
  const uint32_t width = data[2] | data[3] << 8;
  std::span<const uint8_t> pixels(data + 4, size - 4);
  CheckQuantizer(pixels.first(pixels.size() / 4 * 4), colors);
  if (width == 0) return 0;
  const uint32_t height = static_cast<uint32_t>(pixels.size() / 4 / width);
  pixels = pixels.first(size_t{width} * height * 4);
  const std::vector<uint8_t> png = qor::EncodeScreenshot(pixels, width, height, mode);
  if (height == 0) {
    if (!png.empty()) std::abort();
    return 0;
  }
  qor::testing::DecodedPng decoded;
  std::string error;
  if (!qor::testing::DecodeWithLibpng(png, decoded, error)) std::abort();
  if (decoded.width != width || decoded.height != height) std::abort();
  const size_t palette_size = decoded.bit_depth == 8 ? 768 : 48;
  if (decoded.palette.size() != palette_size || (mode == 1 && decoded.bit_depth != 4)) {
    std::abort();
  }
  return 0;
}
