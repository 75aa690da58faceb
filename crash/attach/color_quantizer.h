// Palette for a true-colour picture by Wu's colour quantiser: a histogram
// of 5-5-5 colour cells with cumulative moments, and repeated cuts of the
// box of largest variance where the variance between its two parts is
// greatest. Memory is fixed (five tables of 33^3 cells) whatever the size
// of the picture; only the histogram pass reads the pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// The most entries QuantizeColors makes.
inline constexpr int kMaxQuantizedColors = 256;

// Chooses up to `colors` (1 to 256) representative colours of `pixel_count`
// pixels of four bytes each (blue, green, red, ignored) and writes entry k
// as red, green, blue at palette[3k]. Only entries of boxes that were
// produced and hold pixels are written; every other byte of `palette`
// (3 * `colors` bytes) keeps what the caller put there. Returns the number
// of boxes produced: 0 for no pixels or a `colors` out of range.
int QuantizeColors(const uint8_t* pixels, size_t pixel_count, uint8_t* palette, int colors);

}  // namespace qor
