// Little-endian byte strings for tests that build DWARF sections by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::convert::test {

class Bytes {
 public:
  Bytes& U8(uint64_t v) { return Fixed(v, 1); }
  Bytes& U16(uint64_t v) { return Fixed(v, 2); }
  Bytes& U32(uint64_t v) { return Fixed(v, 4); }
  Bytes& Fixed(uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& Uleb(uint64_t v) {
    do {
      const auto byte = static_cast<uint8_t>(v & 0x7F);
      v >>= 7;
      bytes.push_back(v ? byte | 0x80 : byte);
    } while (v);
    return *this;
  }
  Bytes& Sleb(int64_t v) {
    for (bool more = true; more;) {
      auto byte = static_cast<uint8_t>(v & 0x7F);
      v >>= 7;
      more = !((v == 0 && !(byte & 0x40)) || (v == -1 && (byte & 0x40)));
      bytes.push_back(more ? byte | 0x80 : byte);
    }
    return *this;
  }
  Bytes& Str(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return *this;
  }
  Bytes& Append(const Bytes& other) {
    bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
    return *this;
  }
  // A 32-bit length and then `body`, as DWARF units and headers start.
  Bytes& WithLength(const Bytes& body) {
    U32(body.bytes.size());
    return Append(body);
  }
  size_t size() const { return bytes.size(); }

  std::vector<uint8_t> bytes;
};

}  // namespace qor::convert::test
