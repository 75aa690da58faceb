#include "crash/attach/crc32.h"

#include <array>

#include "crash/attach/byte_order.h"

namespace qor {
namespace {

using Table = std::array<std::array<uint32_t, 256>, 8>;

// Table 0 is the classic byte table; table k advances a byte that sits k
// positions further back, so eight bytes can be folded in per step.
constexpr Table MakeTables() {
  Table t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
  }
  return t;
}

constexpr Table kTables = MakeTables();

}  // namespace

uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t size) {
  for (; size >= 8; size -= 8, data += 8) {
    const uint32_t lo = LoadLe32(data) ^ reg;
    const uint32_t hi = LoadLe32(data + 4);
    reg = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
  }
  for (; size > 0; --size, ++data) reg = kTables[0][(reg ^ *data) & 0xFF] ^ (reg >> 8);
  return reg;
}

}  // namespace qor
