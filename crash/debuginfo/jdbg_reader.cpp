#include "crash/debuginfo/jdbg_reader.h"

#include <vector>

#include "crash/debuginfo/bounded_bytes.h"
#include "crash/debuginfo/table_builder.h"
#include "crash/debuginfo/whole_file.h"

namespace qor {
namespace {

// Header fields, from the file's start.
constexpr uint32_t kVersionAt = 4;
constexpr uint32_t kUnitsAt = 9;  // the units as named by their source files
constexpr uint32_t kSymbolsAt = 13;
constexpr uint32_t kLinesAt = 17;
constexpr uint32_t kNamesAt = 21;
constexpr uint32_t kChecksumAt = 29;
constexpr uint32_t kChecksumValidAt = 33;
constexpr uint32_t kMinimumSize = 35;
constexpr uint32_t kEndOfSection = 0x7FFFFFFF;
constexpr size_t kMaxPackedName = 254;

uint32_t RotateRight8(uint32_t value) {
  return value >> 8 | value << 24;
}

// The stored checksum C satisfies: (sum of all 32-bit words - C) rotated
// right by 8 bits equals C.
bool ChecksumMatches(std::span<const uint8_t> data) {
  uint32_t sum = 0, word = 0, stored = 0;
  for (size_t at = 0; at < data.size(); at += 4) {
    Read32(data, at, word);
    sum += word;
  }
  Read32(data, kChecksumAt, stored);
  return RotateRight8(sum - stored) == stored;
}

char PackedChar(uint32_t value) {
  if (value <= 10) return static_cast<char>('0' + value - 1);
  if (value <= 36) return static_cast<char>('A' + value - 11);
  if (value <= 62) return static_cast<char>('a' + value - 37);
  return '_';
}

class JdbgReader {
 public:
  JdbgReader(std::span<const uint8_t> data, TMapFile& map)
      : data_(data), map_(map), builder_(map) {}

  bool Read() {
    uint32_t units = 0, symbols = 0, lines = 0;
    if (!Read32(data_, kUnitsAt, units) || !Read32(data_, kSymbolsAt, symbols) ||
        !Read32(data_, kLinesAt, lines) || !Read32(data_, kNamesAt, names_)) {
      return false;
    }
    return ReadUnits(units) && ReadSymbols(symbols) && ReadLines(lines) && !builder_.Empty();
  }

  void Discard() { builder_.Clear(); }

 private:
  // Seven bits per byte, lowest group first, the top bit on all but the
  // last byte. False past the end of the data or beyond 32 bits.
  bool ReadValue(uint64_t& at, uint32_t& value) const {
    value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      uint8_t byte = 0;
      if (!Read8(data_, at++, byte)) return false;
      value |= uint32_t{byte & 0x7Fu} << shift;
      if ((byte & 0x80) == 0) return true;
    }
    return false;
  }

  // Reads `count` values of one entry of a section. `ended` is set when
  // the section's end mark came instead.
  template <size_t count>
  bool ReadEntry(uint64_t& at, uint32_t (&values)[count], bool& ended) const {
    for (uint32_t& value : values) {
      if (!ReadValue(at, value)) return false;
      if (value == kEndOfSection) {
        ended = true;
        return true;
      }
    }
    return true;
  }

  // The name at 1-based `index` of the name area; false when it runs out
  // of the data.
  bool Name(int32_t index, std::string& name) const {
    name.clear();
    if (index <= 0) return true;
    uint64_t at = uint64_t{names_} + static_cast<uint32_t>(index) - 1;
    uint8_t first = 0;
    if (!Read8(data_, at, first)) return false;
    if (first == 1) return XorName(at + 1, name);
    if (first == 2) {
      name.push_back('@');
      ++at;
    }
    return PackedName(at, name);
  }

  // Zero-terminated, each byte but 0xAA combined with 0xAA.
  bool XorName(uint64_t at, std::string& name) const {
    for (uint8_t byte = 0;; ++at) {
      if (!Read8(data_, at, byte)) return false;
      if (byte == 0) return true;
      name += static_cast<char>(byte == 0xAA ? byte : byte ^ 0xAA);
    }
  }

  // Four 6-bit values per three bytes, from the low bits up; 0 ends.
  bool PackedName(uint64_t at, std::string& name) const {
    const size_t limit = name.size() + kMaxPackedName;
    uint8_t b[3] = {};
    for (size_t i = 0; name.size() < limit; ++i) {
      const size_t slot = i % 4;
      const uint64_t group = at + i / 4 * 3;
      if (slot == 0 && !Read8(data_, group, b[0])) return false;
      if (slot == 1 && !Read8(data_, group + 1, b[1])) return false;
      if (slot == 2 && !Read8(data_, group + 2, b[2])) return false;
      const uint32_t value = slot == 0   ? b[0] & 0x3Fu
                             : slot == 1 ? (b[0] >> 6 | b[1] << 2) & 0x3Fu
                             : slot == 2 ? (b[1] >> 4 | b[2] << 4) & 0x3Fu
                                         : uint32_t{b[2]} >> 2;
      if (value == 0) return true;
      name += PackedChar(value);
    }
    return true;
  }

  bool ReadUnits(uint64_t at) {
    uint32_t address = 0, index = 0;
    for (bool ended = false;;) {
      uint32_t delta[2];
      if (!ReadEntry(at, delta, ended)) return false;
      if (ended) break;
      address += delta[0];
      index += delta[1];
      std::string name;
      if (!Name(static_cast<int32_t>(index), name)) return false;
      name.erase(0, name.find_last_of("\\/") + 1);
      builder_.AddSegment(SymbolKind::kCode, true, address, false, false, std::move(name), 1);
    }
    builder_.SortSegments();
    builder_.CleanUpSegments(false);
    if (map_.SegmentCount > 0 && map_.TopOfCode != 0) {
      TMfSegment& last = map_.Segments.back();
      if (map_.TopOfCode > last.Start) last.Length = map_.TopOfCode - last.Start;
    }
    return true;
  }

  bool ReadSymbols(uint64_t at) {
    uint32_t address = 0, first = 0, second = 0;
    for (bool ended = false;;) {
      uint32_t delta[3];
      if (!ReadEntry(at, delta, ended)) return false;
      if (ended) return true;
      address += delta[0];
      first += delta[1];
      second += delta[2];
      std::string name, member;
      if (!Name(static_cast<int32_t>(first), name) || !Name(static_cast<int32_t>(second), member)) {
        return false;
      }
      if (static_cast<int32_t>(second) > 0) name += "." + member;
      name = builder_.WithoutUnitPrefix(name, address + map_.BaseOfCode);
      builder_.AddPublic(SymbolKind::kCode, std::move(name), address, false);
    }
  }

  bool ReadLines(uint64_t at) {
    uint32_t address = 0, line = 0;
    for (bool ended = false;;) {
      uint32_t delta[2];
      if (!ReadEntry(at, delta, ended)) return false;
      if (ended) return true;
      address += delta[0];
      line += delta[1];
      builder_.AddLine(static_cast<int32_t>(line), address + map_.BaseOfCode, false);
    }
  }

  std::span<const uint8_t> data_;
  TMapFile& map_;
  TableBuilder builder_;
  uint32_t names_ = 0;
};

bool HeaderAccepted(std::span<const uint8_t> data) {
  if (data.size() < kMinimumSize || data.size() % 4 != 0) return false;
  if (data[0] != 'J' || data[1] != 'D' || data[2] != 'B' || data[3] != 'G') return false;
  if (data[kVersionAt] != 1) return false;
  return data[kChecksumValidAt] == 0 || ChecksumMatches(data);
}

}  // namespace

bool ReadJdbg(std::span<const uint8_t> data, TMapFile& map) {
  if (!HeaderAccepted(data)) return false;
  JdbgReader reader(data, map);
  if (reader.Read()) return true;
  reader.Discard();
  return false;
}

bool ReadJdbgFile(const std::string& path, TMapFile& map) {
  std::vector<uint8_t> bytes;
  return ReadWholeFile(path, bytes) && ReadJdbg(bytes, map);
}

}  // namespace qor
