// Reads the palette PNGs the library writes, with zlib's own CRC-32 and
// inflater (which checks the zlib header and the Adler-32), so that Windows
// tests have an independent decoder where libpng is not at hand.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "crash/attach/testing/decoded_png.h"

namespace qor::testing {

// Fills `out`; false with `error` saying why for a bad signature, a chunk
// that overruns the file or has a wrong CRC, a damaged or short image
// stream, or a format other than non-interlaced palette rows of filter 0.
bool ReadPalettePng(std::span<const uint8_t> png, DecodedPng& out, std::string& error);

}  // namespace qor::testing
