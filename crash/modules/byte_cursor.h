// A bounded reader over bytes that came from outside (a file, a table in
// another module's memory): every read past the end sets `failed` and
// yields 0 or an empty string, so damaged input can only end a reader
// early, never make it read outside its bytes. Little-endian fixed sizes
// and the LEB128 numbers of debugging and exception tables.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace qor {

struct ByteCursor {
  std::span<const uint8_t> data;  // not owned
  size_t at = 0;
  bool failed = false;

  bool AtEnd() const { return failed || at >= data.size(); }

  bool Has(uint64_t count) {
    if (at > data.size() || data.size() - at < count) failed = true;
    return !failed;
  }
  void Skip(uint64_t count) {
    if (Has(count)) at += static_cast<size_t>(count);
  }
  // Moves to `offset`; an offset beyond the end fails.
  void Seek(uint64_t offset) {
    if (offset > data.size()) {
      failed = true;
    } else {
      at = static_cast<size_t>(offset);
    }
  }
  uint64_t Fixed(size_t count) {
    if (count > 8 || !Has(count)) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= uint64_t{data[at + i]} << (8 * i);
    at += count;
    return value;
  }
  uint64_t Uleb() {
    uint64_t value = 0;
    for (int shift = 0; Has(1); shift += 7) {
      const uint8_t byte = data[at++];
      if (shift < 64) value |= uint64_t{byte & 0x7Fu} << shift;
      if (!(byte & 0x80)) return value;
    }
    return 0;
  }
  int64_t Sleb() {
    int64_t value = 0;
    for (int shift = 0; Has(1); shift += 7) {
      const uint8_t byte = data[at++];
      if (shift < 64) value |= static_cast<int64_t>(uint64_t{byte & 0x7Fu} << shift);
      if (!(byte & 0x80)) {
        if (shift + 7 < 64 && (byte & 0x40)) value |= -(int64_t{1} << (shift + 7));
        return value;
      }
    }
    return 0;
  }
  // A NUL-terminated string; one without its NUL inside the data fails.
  std::string String() {
    if (!Has(1)) return {};
    const char* text = reinterpret_cast<const char*>(data.data() + at);
    const size_t length = strnlen(text, data.size() - at);
    if (!Has(length + 1)) return {};
    at += length + 1;
    return std::string(text, length);
  }
};

}  // namespace qor
