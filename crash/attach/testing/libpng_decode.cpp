#include "crash/attach/testing/libpng_decode.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace qor::testing {
namespace {

struct Source {
  std::span<const uint8_t> bytes;
  size_t at = 0;
  std::string* error;
};

void Read(png_structp png, png_bytep data, size_t size) {
  Source& source = *static_cast<Source*>(png_get_io_ptr(png));
  if (source.bytes.size() - source.at < size) png_error(png, "read past the end");
  std::memcpy(data, source.bytes.data() + source.at, size);
  source.at += size;
}

void OnError(png_structp png, png_const_charp message) {
  *static_cast<Source*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

// A warning (such as extra image data) counts as a failure: our files
// must be exact.
void OnWarning(png_structp png, png_const_charp message) { OnError(png, message); }

// Owns the read and info structures.
class Reader {
 public:
  explicit Reader(Source& source)
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning)),
        info_(png_ ? png_create_info_struct(png_) : nullptr) {
    if (png_) png_set_read_fn(png_, &source, Read);
  }
  ~Reader() { png_destroy_read_struct(&png_, &info_, nullptr); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

}  // namespace

bool DecodeWithLibpng(std::span<const uint8_t> bytes, DecodedPng& out, std::string& error) {
  out = DecodedPng{};
  Source source{bytes, 0, &error};
  Reader reader(source);
  png_structp png = reader.png();
  png_infop info = reader.info();
  if (!info) {
    error = "libpng has no memory";
    return false;
  }
  std::vector<uint8_t> row;
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  out.width = png_get_image_width(png, info);
  out.height = png_get_image_height(png, info);
  out.bit_depth = png_get_bit_depth(png, info);
  png_colorp palette = nullptr;
  int entries = 0;
  if (png_get_PLTE(png, info, &palette, &entries) == PNG_INFO_PLTE) {
    for (int k = 0; k < entries; ++k) {
      out.palette.insert(out.palette.end(), {palette[k].red, palette[k].green, palette[k].blue});
    }
  }
  png_set_packing(png);  // one byte per index at any bit depth
  png_read_update_info(png, info);
  row.resize(out.width);
  out.indexes.reserve(size_t{out.width} * out.height);
  for (uint32_t y = 0; y < out.height; ++y) {
    png_read_row(png, row.data(), nullptr);
    out.indexes.insert(out.indexes.end(), row.begin(), row.end());
  }
  png_read_end(png, info);
  if (source.at != bytes.size()) {
    error = "bytes after IEND";
    return false;
  }
  return true;
}

}  // namespace qor::testing
