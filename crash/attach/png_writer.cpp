#include "crash/attach/png_writer.h"

#include "crash/attach/adler32.h"
#include "crash/attach/byte_order.h"
#include "crash/attach/crc32.h"
#include "crash/attach/raw_deflate.h"

namespace qor {
namespace {

constexpr uint8_t kSignature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kColorPaletteSize = 3 * 256;
constexpr int kColorType = 3;  // palette indexes

void AppendBe32(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t bytes[4];
  StoreBe32(bytes, value);
  out.insert(out.end(), bytes, bytes + 4);
}

std::vector<uint8_t> Header(uint32_t width, uint32_t height, size_t palette_size) {
  std::vector<uint8_t> ihdr;
  AppendBe32(ihdr, width);
  AppendBe32(ihdr, height);
  ihdr.push_back(palette_size == kColorPaletteSize ? 8 : 4);
  ihdr.push_back(kColorType);
  ihdr.push_back(0);  // deflate
  ihdr.push_back(0);  // adaptive filters (all rows use filter 0)
  ihdr.push_back(0);  // not interlaced
  return ihdr;
}

// zlib framing around a raw deflate stream of `rows`; empty when the
// compressor fails.
std::vector<uint8_t> ImageData(std::span<const uint8_t> rows) {
  // The fast matcher grows incompressible data by far less than a tenth.
  const size_t room = rows.size() + rows.size() / 10 + 12;
  std::vector<uint8_t> idat(2 + room);
  // Deflate, 32 KB window, check bits for the lowest level flag.
  idat[0] = 0x78;
  idat[1] = 0x01;
  const int written = DeflateRaw(rows.data(), rows.size(), idat.data() + 2, room);
  if (written <= 0) return {};
  idat.resize(2 + static_cast<size_t>(written));
  AppendBe32(idat, ComputeAdler32(rows.data(), rows.size()));
  return idat;
}

}  // namespace

void AppendPngChunk(std::vector<uint8_t>& png, std::string_view type,
                    std::span<const uint8_t> data) {
  AppendBe32(png, static_cast<uint32_t>(data.size()));
  const size_t typed_at = png.size();
  png.insert(png.end(), type.begin(), type.end());
  png.insert(png.end(), data.begin(), data.end());
  AppendBe32(png, Crc32(png.data() + typed_at, png.size() - typed_at));
}

std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> palette,
                               std::span<const uint8_t> rows) {
  const std::vector<uint8_t> idat = ImageData(rows);
  if (idat.empty()) return {};
  std::vector<uint8_t> png(std::begin(kSignature), std::end(kSignature));
  AppendPngChunk(png, "IHDR", Header(width, height, palette.size()));
  if (!palette.empty()) AppendPngChunk(png, "PLTE", palette);
  AppendPngChunk(png, "IDAT", idat);
  AppendPngChunk(png, "IEND", {});
  return png;
}

}  // namespace qor
