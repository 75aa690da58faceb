// Palette indexes of a captured 32-bit picture (four bytes per pixel:
// blue, green, red, ignored), laid out as PNG row data: per row a filter
// byte 0 and the indexes of its pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor {

inline constexpr size_t kColorPaletteBytes = 3 * 256;
inline constexpr size_t kGrayPaletteBytes = 3 * 16;

// Distances between neighbouring gray levels, narrower towards white where
// the eye tells shades apart better.
inline constexpr std::array<uint8_t, 15> kGraySteps = {28, 24, 21, 19, 17, 16, 15, 15,
                                                       15, 15, 14, 14, 14, 14, 14};

// Sixteen gray entries: entry 0 is black, entry k the sum of the first k
// steps.
std::array<uint8_t, kGrayPaletteBytes> MakeGrayPalette(const std::array<uint8_t, 15>& steps);

// One byte per pixel: the palette entry nearest to the pixel by the sum of
// the channel differences, the lower entry on ties. The search is made
// once per 5-5-5 colour cell, by the first pixel that falls into it, and
// every pixel of the cell gets its result. `pixels` holds width * height
// pixels.
std::vector<uint8_t> ColorIndexRows(std::span<const uint8_t> pixels, uint32_t width,
                                    uint32_t height,
                                    std::span<const uint8_t, kColorPaletteBytes> palette);

// Four bits per pixel, the first of each pair in the high half and a row's
// odd last pixel followed by 0: the gray entry nearest to the pixel's
// brightness (77 red + 151 green + 28 blue) / 256, the lower on ties.
std::vector<uint8_t> GrayIndexRows(std::span<const uint8_t> pixels, uint32_t width,
                                   uint32_t height,
                                   std::span<const uint8_t, kGrayPaletteBytes> palette);

}  // namespace qor
