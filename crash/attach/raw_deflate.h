// Raw deflate streams (RFC 1951, no zlib or gzip framing, 32 KB window)
// over zlib, with the fixed parameters the library's data is written with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// Compresses `source` into `dest` at zlib level 2 (the fast matcher, which
// is what whole screenshots need) and finishes the stream. Returns the
// number of bytes written; 0 or less when zlib fails or `dest` is too small.
int DeflateRaw(const uint8_t* source, size_t source_size, uint8_t* dest, size_t dest_size);

// Inflates `source` into `dest`, which must end up holding exactly
// `expected_size` bytes. Returns the number of bytes produced, or 0 when the
// stream is damaged, when not all of `source` was consumed, or when the
// output length differs from `expected_size`.
size_t InflateRaw(const uint8_t* source, size_t source_size, uint8_t* dest, size_t expected_size);

// Largest output DeflateRaw can need for `source_size` bytes.
size_t DeflateRawBound(size_t source_size);

}  // namespace qor
