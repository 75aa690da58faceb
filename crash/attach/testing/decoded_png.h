// A palette PNG as the tests' readers give it back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::testing {

struct DecodedPng {
  uint32_t width = 0;
  uint32_t height = 0;
  int bit_depth = 0;
  std::vector<uint8_t> palette;     // red, green, blue per entry
  std::vector<uint8_t> indexes;     // one per pixel, rows top-down
  std::vector<std::string> chunks;  // chunk types in file order

  // The palette colour of pixel (x, y) as 0xRRGGBB.
  uint32_t Color(uint32_t x, uint32_t y) const {
    const size_t at = 3 * size_t{indexes[size_t{y} * width + x]};
    return uint32_t{palette[at]} << 16 | uint32_t{palette[at + 1]} << 8 | palette[at + 2];
  }
};

}  // namespace qor::testing
