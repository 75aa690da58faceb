// True-colour pictures of desktops and the two quantisers that the
// screenshot benchmark and the quality oracle compare: ours (QuantizeColors
// and the 5-5-5 cached mapping) and libimagequant (quantise and remap
// without dithering).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crash/attach/palette_image.h"

namespace qor::bench {

struct Picture {
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgrx;  // as the capture gives it
  std::vector<uint8_t> rgba;  // as libimagequant takes it
};

// The named pictures: the captured Wine dialogs and the busy desktop
// composed at build time. Empty `bgrx` for a picture that cannot be read.
std::vector<Picture> LoadPictures();

struct Indexed {
  std::array<uint8_t, kColorPaletteBytes> palette{};
  std::vector<uint8_t> rows;  // PNG rows: filter byte and indexes
};

Indexed OurColors(const Picture& p);
// On one thread, like the screenshot.
Indexed LiqColors(const Picture& p);

// Peak signal-to-noise ratio of the indexed image against the original,
// over the three colour channels, in dB.
double Psnr(const Picture& p, const Indexed& indexed);

}  // namespace qor::bench
