#include "crash/attach/raw_deflate.h"

#include <zlib.h>

#include <climits>

namespace qor {
namespace {

constexpr int kLevel = 2;
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;

// A zlib stream whose end call runs on every path once its init call
// succeeded.
class ZStream {
 public:
  explicit ZStream(int (*end)(z_streamp)) : end_(end) {}
  ZStream(const ZStream&) = delete;
  ZStream& operator=(const ZStream&) = delete;
  ~ZStream() {
    if (ready_) end_(&stream_);
  }
  // Takes the init call's result; false when zlib refused the parameters or
  // had no memory.
  bool Started(int init_result) {
    ready_ = init_result == Z_OK;
    return ready_;
  }
  z_stream& get() { return stream_; }

 private:
  int (*end_)(z_streamp);
  z_stream stream_{};
  bool ready_ = false;
};

// zlib counts in uInt; larger buffers are refused rather than truncated.
bool FitsZlib(size_t size) { return size <= static_cast<size_t>(INT_MAX); }

}  // namespace

int DeflateRaw(const uint8_t* source, size_t source_size, uint8_t* dest, size_t dest_size) {
  if (!FitsZlib(source_size) || !FitsZlib(dest_size)) return 0;
  ZStream deflater(deflateEnd);
  z_stream& z = deflater.get();
  if (!deflater.Started(deflateInit2(&z, kLevel, Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                                     Z_DEFAULT_STRATEGY))) {
    return 0;
  }
  z.next_in = const_cast<Bytef*>(source);
  z.avail_in = static_cast<uInt>(source_size);
  z.next_out = dest;
  z.avail_out = static_cast<uInt>(dest_size);
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) return 0;
  return static_cast<int>(z.total_out);
}

size_t InflateRaw(const uint8_t* source, size_t source_size, uint8_t* dest, size_t expected_size) {
  if (!FitsZlib(source_size) || !FitsZlib(expected_size)) return 0;
  ZStream inflater(inflateEnd);
  z_stream& z = inflater.get();
  if (!inflater.Started(inflateInit2(&z, kRawWindowBits))) return 0;
  z.next_in = const_cast<Bytef*>(source);
  z.avail_in = static_cast<uInt>(source_size);
  z.next_out = dest;
  z.avail_out = static_cast<uInt>(expected_size);
  if (inflate(&z, Z_FINISH) != Z_STREAM_END) return 0;
  if (z.avail_in != 0 || z.total_out != expected_size) return 0;
  return z.total_out;
}

size_t DeflateRawBound(size_t source_size) {
  // zlib's bound for its own framing covers the raw stream with room to spare.
  return compressBound(static_cast<uLong>(source_size));
}

}  // namespace qor
