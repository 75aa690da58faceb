#include "crash/debuginfo/td32_reader.h"

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "crash/debuginfo/bounded_bytes.h"
#include "crash/debuginfo/table_builder.h"
#include "crash/debuginfo/td32_format.h"

namespace qor {
namespace {

using namespace td32;

constexpr uint32_t kModuleNameAt = 8;
constexpr uint16_t kCodeSegmentNumber = 1;

struct Subsection {
  uint16_t type = 0;
  std::span<const uint8_t> data;
};

class Td32Reader {
 public:
  Td32Reader(std::span<const uint8_t> data, TMapFile& map)
      : data_(data), map_(map), builder_(map) {}

  bool Read() {
    if (!ReadDirectories() || !ReadNames()) return false;
    for (const Subsection& s : subsections_) {
      if (s.type == kModule && !ReadModule(s.data)) return false;
    }
    for (const Subsection& s : subsections_) {
      if (s.type == kSourceModule && !ReadSourceModule(s.data)) return false;
    }
    builder_.SortSegments();
    builder_.CleanUpSegments(true);
    if (!ReadSymbolSubsections()) return false;
    builder_.SortPublics();
    builder_.CleanUpSegments(false);
    return !builder_.Empty();
  }

  void Discard() { builder_.Clear(); }

 private:
  // The chain of directories; each entry names a subsection by type,
  // offset and size. A chain that comes back to a directory already read
  // is refused, so a crafted chain cannot loop, and so are more entries
  // than the data has room for, so overlapping directories cannot make
  // the list grow without bound.
  bool ReadDirectories() {
    uint32_t directory = 0;
    if (!Read32(data_, 4, directory)) return false;
    std::set<uint32_t> seen;
    while (directory != 0) {
      if (!seen.insert(directory).second) return false;
      uint16_t header_size = 0, entry_size = 0;
      uint32_t count = 0, next = 0;
      if (!Read16(data_, directory, header_size) ||
          !Read16(data_, uint64_t{directory} + 2, entry_size) ||
          !Read32(data_, uint64_t{directory} + 4, count) ||
          !Read32(data_, uint64_t{directory} + 8, next) || entry_size < kDirectoryEntrySize ||
          !Inside(data_, uint64_t{directory} + header_size, uint64_t{count} * entry_size) ||
          subsections_.size() + count > data_.size() / kDirectoryEntrySize) {
        return false;
      }
      for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = uint64_t{directory} + header_size + uint64_t{i} * entry_size;
        Subsection s;
        uint32_t offset = 0, size = 0;
        Read16(data_, entry, s.type);
        Read32(data_, entry + 4, offset);
        Read32(data_, entry + 8, size);
        if (!Inside(data_, offset, size)) return false;
        s.data = data_.subspan(offset, size);
        subsections_.push_back(s);
      }
      directory = next;
    }
    return true;
  }

  // A count, then names of a length byte, the text and a zero byte;
  // referred to by 1-based index.
  bool ReadNames() {
    for (const Subsection& s : subsections_) {
      if (s.type != kNames) continue;
      uint32_t count = 0;
      if (!Read32(s.data, 0, count) || count > s.data.size() / 2) return false;
      uint64_t at = 4;
      names_.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        uint8_t length = 0;
        if (!Read8(s.data, at, length) || !Inside(s.data, at + 1, uint64_t{length} + 1))
          return false;
        names_.emplace_back(reinterpret_cast<const char*>(s.data.data() + at + 1), length);
        at += uint64_t{length} + 2;
      }
      return true;
    }
    return true;
  }

  std::string Name(uint32_t index) const {
    if (index == 0 || index > names_.size()) return {};
    return std::string(names_[index - 1]);
  }

  // The module's segments: kind, start and length; only its first data
  // segment counts.
  bool ReadModule(std::span<const uint8_t> module) {
    uint16_t count = 0;
    uint32_t name_index = 0;
    if (!Read16(module, 4, count) || !Read32(module, kModuleNameAt, name_index) ||
        !Inside(module, kModuleHeaderSize, uint64_t{count} * kModuleSegmentSize)) {
      return false;
    }
    const std::string name = Name(name_index);
    bool had_data = false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = kModuleHeaderSize + uint64_t{i} * kModuleSegmentSize;
      uint16_t flags = 0;
      uint32_t start = 0, length = 0;
      Read16(module, entry + 2, flags);
      Read32(module, entry + 4, start);
      Read32(module, entry + 8, length);
      const bool code = (flags & 1) != 0;
      if (!code && had_data) continue;
      had_data = had_data || !code;
      if (length == 0) continue;
      builder_.AddSegment(code ? SymbolKind::kCode : SymbolKind::kData, true, start, false, false,
                          name, length);
    }
    return true;
  }

  // Source files, each with line blocks per segment: offsets and line
  // numbers. Each block of the code segment also gives the file a segment
  // from its first to its last offset.
  bool ReadSourceModule(std::span<const uint8_t> module) {
    uint16_t file_count = 0;
    if (!Read16(module, 0, file_count) || !Inside(module, 4, uint64_t{file_count} * 4))
      return false;
    for (uint32_t f = 0; f < file_count; ++f) {
      uint32_t file = 0;
      Read32(module, 4 + uint64_t{f} * 4, file);
      uint16_t block_count = 0;
      uint32_t name_index = 0;
      if (!Read16(module, file, block_count) || !Read32(module, uint64_t{file} + 2, name_index) ||
          !Inside(module, uint64_t{file} + 6, uint64_t{block_count} * 4)) {
        return false;
      }
      std::string name = Name(name_index);
      name.erase(0, name.find_last_of("\\/") + 1);
      for (uint32_t b = 0; b < block_count; ++b) {
        uint32_t block = 0;
        Read32(module, uint64_t{file} + 6 + uint64_t{b} * 4, block);
        if (!ReadLineBlock(module, block, name)) return false;
      }
    }
    return true;
  }

  bool ReadLineBlock(std::span<const uint8_t> module, uint32_t block, const std::string& name) {
    uint16_t segment = 0, count = 0;
    if (!Read16(module, block, segment) || !Read16(module, uint64_t{block} + 2, count) ||
        !Inside(module, uint64_t{block} + 4, uint64_t{count} * 6)) {
      return false;
    }
    if (segment != kCodeSegmentNumber || count == 0) return true;
    const uint64_t offsets = uint64_t{block} + 4;
    const uint64_t numbers = offsets + uint64_t{count} * 4;
    uint32_t first = UINT32_MAX, last = 0;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t offset = 0;
      uint16_t line = 0;
      Read32(module, offsets + uint64_t{i} * 4, offset);
      Read16(module, numbers + uint64_t{i} * 2, line);
      builder_.AddLine(line, offset + map_.BaseOfCode, false);
      first = std::min(first, offset);
      last = std::max(last, offset);
    }
    builder_.AddSegment(SymbolKind::kCode, true, first, true, false, name, last - first);
    return true;
  }

  // Publics from the global symbols, or without those from the publics.
  bool ReadSymbolSubsections() {
    bool global = false;
    for (const Subsection& s : subsections_) global = global || s.type == kGlobalSymbols;
    for (const Subsection& s : subsections_) {
      if (global && s.type == kGlobalSymbols && !ReadSymbols(s.data, kGlobalSymbolsHeaderSize))
        return false;
      if (!global && s.type == kPublics && !ReadSymbols(s.data, kPublicsHeaderSize)) return false;
    }
    return true;
  }

  // Records of a 16-bit length (not counting itself) and a 16-bit kind.
  bool ReadSymbols(std::span<const uint8_t> symbols, uint64_t at) {
    while (at < symbols.size()) {
      uint16_t length = 0, kind = 0;
      if (!Read16(symbols, at, length) || length < 2 || !Inside(symbols, at + 2, length))
        return false;
      Read16(symbols, at + 2, kind);
      Symbol(symbols.subspan(at, uint64_t{length} + 2), kind);
      at += uint64_t{length} + 2;
    }
    return true;
  }

  // A record too short for its fields is passed over.
  void Symbol(std::span<const uint8_t> record, uint16_t kind) {
    uint32_t name_at = 0, address_at = 0;
    SymbolKind symbol_kind = SymbolKind::kCode;
    switch (kind) {
      case kLocalProcedure:
      case kGlobalProcedure:
        name_at = 40;
        address_at = 28;
        break;
      case kLocalData:
      case kGlobalData:
        name_at = 16;
        address_at = 4;
        symbol_kind = SymbolKind::kData;
        break;
      case kCodePublic:
        name_at = 12;
        address_at = 20;
        break;
      case kDataPublic:
        name_at = 12;
        address_at = 20;
        symbol_kind = SymbolKind::kData;
        break;
      default:
        return;
    }
    uint32_t name_index = 0, address = 0;
    if (!Read32(record, name_at, name_index) || !Read32(record, address_at, address)) return;
    std::string name = Name(name_index);
    if (name.empty()) return;
    builder_.AddPublic(symbol_kind, std::move(name), address, true);
  }

  std::span<const uint8_t> data_;
  TMapFile& map_;
  TableBuilder builder_;
  std::vector<Subsection> subsections_;
  std::vector<std::string_view> names_;
};

}  // namespace

bool HasTd32Signature(std::span<const uint8_t> data) {
  return data.size() >= 4 && data[0] == 'F' && data[1] == 'B' && data[2] == '0' &&
         (data[3] == '9' || data[3] == 'A');
}

bool ReadTd32(std::span<const uint8_t> data, TMapFile& map) {
  if (!HasTd32Signature(data)) return false;
  Td32Reader reader(data, map);
  if (reader.Read()) return true;
  reader.Discard();
  return false;
}

}  // namespace qor
