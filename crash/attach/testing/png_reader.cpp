#include "crash/attach/testing/png_reader.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace qor::testing {
namespace {

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool Fail(std::string& error, const std::string& why) {
  error = why;
  return false;
}

// Expands the row data into one index per pixel.
bool Unpack(const std::vector<uint8_t>& rows, DecodedPng& out, std::string& error) {
  const size_t row_bytes = 1 + (size_t{out.width} * out.bit_depth + 7) / 8;
  if (rows.size() != row_bytes * out.height) return Fail(error, "wrong amount of row data");
  out.indexes.clear();
  for (uint32_t y = 0; y < out.height; ++y) {
    const uint8_t* row = rows.data() + y * row_bytes;
    if (row[0] != 0) return Fail(error, "row filter is not 0");
    for (uint32_t x = 0; x < out.width; ++x) {
      out.indexes.push_back(out.bit_depth == 8 ? row[1 + x]
                                               : (row[1 + x / 2] >> (x % 2 ? 0 : 4)) & 0x0F);
    }
  }
  return true;
}

}  // namespace

bool ReadPalettePng(std::span<const uint8_t> png, DecodedPng& out, std::string& error) {
  static const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) {
    return Fail(error, "no PNG signature");
  }
  out = DecodedPng{};
  std::vector<uint8_t> stream;
  for (size_t at = 8; at < png.size();) {
    if (png.size() - at < 12) return Fail(error, "truncated chunk");
    const uint32_t length = Be32(&png[at]);
    if (png.size() - at - 12 < length) return Fail(error, "chunk overruns the file");
    const uint8_t* type = &png[at + 4];
    const uint8_t* data = type + 4;
    if (crc32(0, type, 4 + length) != Be32(data + length)) return Fail(error, "bad chunk CRC");
    const std::string name(reinterpret_cast<const char*>(type), 4);
    out.chunks.push_back(name);
    if (name == "IHDR" && length == 13) {
      out.width = Be32(data);
      out.height = Be32(data + 4);
      out.bit_depth = data[8];
      if (data[9] != 3 || data[12] != 0) return Fail(error, "not a plain palette image");
    } else if (name == "PLTE") {
      out.palette.assign(data, data + length);
    } else if (name == "IDAT") {
      stream.insert(stream.end(), data, data + length);
    }
    at += 12 + length;
  }
  if (out.bit_depth != 8 && out.bit_depth != 4) return Fail(error, "unexpected bit depth");
  std::vector<uint8_t> rows((1 + (size_t{out.width} * out.bit_depth + 7) / 8) * out.height);
  uLongf size = static_cast<uLongf>(rows.size());
  if (uncompress(rows.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) {
    return Fail(error, "image stream does not inflate");
  }
  rows.resize(size);
  return Unpack(rows, out, error);
}

}  // namespace qor::testing
