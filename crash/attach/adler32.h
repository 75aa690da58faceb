// Adler-32 (RFC 1950), the trailer of zlib-framed data such as PNG's IDAT.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// Adler-32 of one buffer, starting from 1.
uint32_t ComputeAdler32(const uint8_t* data, size_t size);

}  // namespace qor
