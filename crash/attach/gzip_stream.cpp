#include "crash/attach/gzip_stream.h"

#include <zlib.h>

namespace qor {
namespace {

// Window bits 15 plus 16 asks zlib for the gzip header and trailer.
constexpr int kGzipWindowBits = 15 + 16;

// Ends the stream on every path out of GzipCompress.
struct DeflateStream {
  z_stream z{};
  bool open = false;
  ~DeflateStream() {
    if (open) deflateEnd(&z);
  }
};

}  // namespace

std::string GzipCompress(std::string_view data) {
  DeflateStream stream;
  if (deflateInit2(&stream.z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    return {};
  }
  stream.open = true;
  // deflateBound covers the zlib framing; the gzip header and trailer
  // are 18 bytes, the zlib ones 6.
  std::string out(deflateBound(&stream.z, static_cast<uLong>(data.size())) + 12, '\0');
  stream.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.z.avail_in = static_cast<uInt>(data.size());
  stream.z.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream.z, Z_FINISH) != Z_STREAM_END) return {};
  out.resize(stream.z.total_out);
  return out;
}

}  // namespace qor
