#include "crash/attach/crc32.h"

#include <array>

#include "crash/attach/byte_order.h"

namespace qor {
namespace {

using Table = std::array<std::array<uint32_t, 256>, 16>;

// Table 0 is the classic byte table; table k advances a byte that sits k
// positions further back, so sixteen bytes can be folded in per step.
constexpr Table MakeTables() {
  Table t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 16; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
  }
  return t;
}

constexpr Table kTables = MakeTables();

// The contribution of the four bytes of `word` whose last byte lies
// `after` bytes before the end of the 16-byte step.
uint32_t Fold(uint32_t word, int after) {
  return kTables[after + 3][word & 0xFF] ^ kTables[after + 2][(word >> 8) & 0xFF] ^
         kTables[after + 1][(word >> 16) & 0xFF] ^ kTables[after][word >> 24];
}

}  // namespace

uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t size) {
  for (; size >= 16; size -= 16, data += 16) {
    const uint32_t w0 = LoadLe32(data) ^ reg;
    const uint32_t w1 = LoadLe32(data + 4);
    const uint32_t w2 = LoadLe32(data + 8);
    const uint32_t w3 = LoadLe32(data + 12);
    reg = Fold(w0, 12) ^ Fold(w1, 8) ^ Fold(w2, 4) ^ Fold(w3, 0);
  }
  for (; size > 0; --size, ++data) reg = kTables[0][(reg ^ *data) & 0xFF] ^ (reg >> 8);
  return reg;
}

}  // namespace qor
