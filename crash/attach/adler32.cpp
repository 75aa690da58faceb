#include "crash/attach/adler32.h"

namespace qor {
namespace {

constexpr uint32_t kModulus = 65521;
// Bytes summed between two modulo steps. The 32-bit sums cannot overflow
// while 255 n (n + 1) / 2 + (n + 1) (kModulus - 1) stays below 2^32, which
// holds up to n = 5552; 3854 keeps a margin.
constexpr size_t kPiece = 3854;

}  // namespace

uint32_t ComputeAdler32(const uint8_t* data, size_t size) {
  uint32_t a = 1;
  uint32_t b = 0;
  while (size > 0) {
    const size_t piece = size < kPiece ? size : kPiece;
    for (size_t i = 0; i < piece; ++i) {
      a += data[i];
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
    data += piece;
    size -= piece;
  }
  return b << 16 | a;
}

}  // namespace qor
