#include "crash/debuginfo/testing/td32_writer.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "crash/debuginfo/td32_format.h"

namespace qor::test {
namespace {

using namespace td32;

struct Entry {
  uint16_t type;
  uint32_t offset;
  uint32_t size;
};

class Td32Writer {
 public:
  explicit Td32Writer(const Td32Options& options) : options_(options) {
    out_ = {'F', 'B', '0', static_cast<uint8_t>(options.fb0a ? 'A' : '9'), 0, 0, 0, 0};
  }

  std::vector<uint8_t> Write(const DebugTables& tables) {
    for (const TableSegment& s : tables.segments) Module(s);
    for (const TableSegment& s : tables.segments) {
      if (s.code) SourceModule(s, tables.lines);
    }
    Symbols(tables.publics);
    Subsection(kNames, NamesSubsection());
    Directories();
    return out_;
  }

 private:
  uint32_t NameIndex(const std::string& name) {
    auto [it, added] = indices_.emplace(name, static_cast<uint32_t>(names_.size()) + 1);
    if (added) names_.push_back(name);
    return it->second;
  }

  void Subsection(uint16_t type, const std::vector<uint8_t>& bytes) {
    out_.resize((out_.size() + 3) & ~size_t{3});
    entries_.push_back(
        {type, static_cast<uint32_t>(out_.size()), static_cast<uint32_t>(bytes.size())});
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }

  // Header (overlay, library, segment count, style, name, time, reserved)
  // and one segment entry: number, flags (1 = code), start, length.
  void Module(const TableSegment& s) {
    std::vector<uint8_t> bytes(kModuleHeaderSize);
    Put16(bytes, 4, 1);
    Put16(bytes, 6, 'V' << 8 | 'C');
    Put32(bytes, 8, NameIndex(s.unit));
    Append16(bytes, s.code ? 1 : 2);
    Append16(bytes, s.code ? 1 : 0);
    Append32(bytes, s.start);
    Append32(bytes, s.length);
    Subsection(kModule, bytes);
  }

  // One file with one block of the unit's lines in segment 1.
  void SourceModule(const TableSegment& s, const std::vector<TableLine>& lines) {
    std::vector<const TableLine*> own;
    for (const TableLine& l : lines) {
      if (l.address >= s.start && l.address - s.start < s.length) own.push_back(&l);
    }
    if (own.empty()) return;
    std::vector<uint8_t> bytes;
    Append16(bytes, 1);   // files
    Append16(bytes, 1);   // segments
    Append32(bytes, 20);  // the file entry
    Append32(bytes, s.start);
    Append32(bytes, s.start + s.length);
    Append16(bytes, 1);
    Append16(bytes, 0);
    Append16(bytes, 1);  // the file's blocks
    Append32(bytes, NameIndex("C:\\source\\" + s.unit));
    Append32(bytes, static_cast<uint32_t>(bytes.size()) + 12);  // its block
    Append32(bytes, s.start);
    Append32(bytes, s.start + s.length);
    Append16(bytes, 1);
    Append16(bytes, static_cast<uint16_t>(own.size()));
    for (const TableLine* l : own) Append32(bytes, l->address);
    for (const TableLine* l : own) Append16(bytes, static_cast<uint16_t>(l->line));
    Subsection(kSourceModule, bytes);
  }

  void Symbols(const std::vector<TablePublic>& publics) {
    std::vector<uint8_t> bytes(options_.global_symbols ? kGlobalSymbolsHeaderSize
                                                       : kPublicsHeaderSize);
    for (const TablePublic& p : publics) {
      const uint32_t name = NameIndex(p.name);
      std::vector<uint8_t> record;
      if (!options_.global_symbols) {
        record.resize(24);
        Put16(record, 2, p.code ? kCodePublic : kDataPublic);
        Put32(record, 12, name);
        Put32(record, 20, p.address);
      } else if (p.code) {
        record.resize(44);
        Put16(record, 2, kGlobalProcedure);
        Put32(record, 28, p.address);
        Put16(record, 32, 1);
        Put32(record, 40, name);
      } else {
        record.resize(20);
        Put16(record, 2, kGlobalData);
        Put32(record, 4, p.address);
        Put16(record, 8, 2);
        Put32(record, 16, name);
      }
      Put16(record, 0, static_cast<uint16_t>(record.size() - 2));
      bytes.insert(bytes.end(), record.begin(), record.end());
    }
    Subsection(options_.global_symbols ? kGlobalSymbols : kPublics, bytes);
  }

  std::vector<uint8_t> NamesSubsection() const {
    std::vector<uint8_t> bytes;
    Append32(bytes, static_cast<uint32_t>(names_.size()));
    for (const std::string& name : names_) {
      bytes.push_back(static_cast<uint8_t>(name.size()));
      bytes.insert(bytes.end(), name.begin(), name.end());
      bytes.push_back(0);
    }
    return bytes;
  }

  // Header size, entry size, count, next directory, flags; then entries
  // of type, module index, offset and size.
  void Directories() {
    const size_t half = entries_.size() / 2;
    std::vector<std::pair<size_t, size_t>> parts{{0, entries_.size()}};
    if (options_.two_directories) parts = {{0, half}, {half, entries_.size()}};
    size_t link = 4;  // where the offset of the next directory goes
    for (const auto& [first, last] : parts) {
      out_.resize((out_.size() + 3) & ~size_t{3});
      Put32(out_, link, static_cast<uint32_t>(out_.size()));
      link = out_.size() + 8;
      Append16(out_, kDirectoryHeaderSize);
      Append16(out_, kDirectoryEntrySize);
      Append32(out_, static_cast<uint32_t>(last - first));
      Append32(out_, 0);
      Append32(out_, 0);
      for (size_t i = first; i < last; ++i) {
        Append16(out_, entries_[i].type);
        Append16(out_, 0);
        Append32(out_, entries_[i].offset);
        Append32(out_, entries_[i].size);
      }
    }
  }

  const Td32Options& options_;
  std::vector<uint8_t> out_;
  std::vector<Entry> entries_;
  std::vector<std::string> names_;
  std::map<std::string, uint32_t> indices_;
};

}  // namespace

std::vector<uint8_t> WriteTd32(const DebugTables& tables, const Td32Options& options) {
  return Td32Writer(options).Write(tables);
}

void AttachDebugData(std::vector<uint8_t>& image, const std::vector<uint8_t>& data, bool loaded) {
  const uint32_t nt = uint32_t{image[0x3C]} | uint32_t{image[0x3D]} << 8;
  const uint32_t directory_entry = nt + 24 + 96 + 6 * 8;
  const uint32_t entry = static_cast<uint32_t>((image.size() + 15) & ~size_t{15});
  const uint32_t data_at = entry + 28;
  image.resize(data_at + data.size());
  std::copy(data.begin(), data.end(), image.begin() + data_at);
  Put32(image, entry + 12, 9);  // the type the tool chain gives its own data
  Put32(image, entry + 16, static_cast<uint32_t>(data.size()));
  Put32(image, entry + 20, loaded ? data_at : 0);
  Put32(image, entry + 24, data_at);
  Put32(image, directory_entry, entry);
  Put32(image, directory_entry + 4, 28);
  Put32(image, nt + 24 + 56, static_cast<uint32_t>(image.size()));
}

}  // namespace qor::test
