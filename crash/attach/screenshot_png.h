// The screenshot of a bug report as a PNG file: an 8-bit image with up to
// 256 colours chosen for the picture, or a 4-bit image of 16 gray levels,
// the mode deciding which is made and which is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor {

// The name under which a report stores and mails the screenshot.
inline constexpr char kScreenshotFileName[] = "screenShot.png";

// Largest picture encoded (a 256 MB capture); larger ones give no PNG.
inline constexpr uint64_t kMaxScreenshotPixels = uint64_t{1} << 26;

// Whether `mode` asks for the gray image beside a colour image of
// `color_size` bytes (0 when there is none): always in mode 1, which makes
// no colour image; in modes 2 to 5 when the colour image is larger than
// 50, 100, 200 or 300 KB; in every mode when there is no colour image.
bool NeedsGrayImage(int mode, size_t color_size);

// The 256-colour PNG of `pixels` (width * height pixels of blue, green,
// red, ignored); entries the quantiser leaves free are black. Empty when
// compression fails.
std::vector<uint8_t> EncodeColorScreenshot(std::span<const uint8_t> pixels, uint32_t width,
                                           uint32_t height);

// The 16-gray PNG of the same pixels; empty when compression fails.
std::vector<uint8_t> EncodeGrayScreenshot(std::span<const uint8_t> pixels, uint32_t width,
                                          uint32_t height);

// The PNG that `mode` yields: the colour image unless mode is 1; the gray
// image when NeedsGrayImage says so, and then the gray one replaces the
// colour one if it is strictly shorter or the colour one is missing.
// Empty for an empty picture, a picture over kMaxScreenshotPixels, a
// `pixels` that does not hold width * height pixels, or when nothing could
// be encoded.
std::vector<uint8_t> EncodeScreenshot(std::span<const uint8_t> pixels, uint32_t width,
                                      uint32_t height, int mode);

}  // namespace qor
