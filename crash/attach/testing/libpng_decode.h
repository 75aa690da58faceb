// Decodes palette PNGs with libpng (host tests only): the reference reader,
// which stops on any CRC, zlib or format fault.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "crash/attach/testing/decoded_png.h"

namespace qor::testing {

// Fills `out` (all but `chunks`) with indexes expanded to one byte per
// pixel; false with `error` set on a libpng error or warning.
bool DecodeWithLibpng(std::span<const uint8_t> png, DecodedPng& out, std::string& error);

}  // namespace qor::testing
