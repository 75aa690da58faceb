// PNG files of palette images, written in memory: signature, IHDR, PLTE,
// one IDAT and IEND.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qor {

// Appends one chunk: the big-endian data length, the four-letter `type`,
// the data and the big-endian CRC-32 of type and data.
void AppendPngChunk(std::vector<uint8_t>& png, std::string_view type,
                    std::span<const uint8_t> data);

// A non-interlaced palette PNG of `width` x `height` pixels. The bit depth
// is 8 when `palette` holds 256 entries (768 bytes of red, green, blue)
// and 4 otherwise; an empty palette leaves out the PLTE chunk. `rows` is
// the unfiltered image data: per row a filter byte 0 and the packed
// indexes. The IDAT chunk holds the zlib header 78 01, the raw deflate
// stream of `rows` and their Adler-32. Empty when compression fails.
std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> palette,
                               std::span<const uint8_t> rows);

}  // namespace qor
