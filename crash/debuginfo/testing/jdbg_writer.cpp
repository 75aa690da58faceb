#include "crash/debuginfo/testing/jdbg_writer.h"

#include <map>
#include <string>

namespace qor::test {
namespace {

constexpr uint32_t kEndOfSection = 0x7FFFFFFF;
constexpr size_t kHeaderSize = 36;  // 34 bytes, padded to a word

void AppendValue(std::vector<uint8_t>& out, uint32_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

uint32_t SixBitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 1);
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A' + 11);
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 37);
  return c == '_' ? 63 : 0;
}

bool Packable(const std::string& name) {
  if (name.empty() || name.size() > 254) return false;
  for (char c : name) {
    if (SixBitValue(c) == 0) return false;
  }
  return true;
}

// Four 6-bit values per three bytes, low bits first, ended by a 0 value
// unless the name has the full 254 characters.
std::vector<uint8_t> Pack(const std::string& name) {
  std::vector<uint32_t> values;
  for (char c : name) values.push_back(SixBitValue(c));
  if (values.size() < 254) values.push_back(0);
  while (values.size() % 4 != 0) values.push_back(0);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < values.size(); i += 4) {
    out.push_back(static_cast<uint8_t>(values[i] | values[i + 1] << 6));
    out.push_back(static_cast<uint8_t>(values[i + 1] >> 2 | values[i + 2] << 4));
    out.push_back(static_cast<uint8_t>(values[i + 2] >> 4 | values[i + 3] << 2));
  }
  return out;
}

// A packed name must not begin with the bytes that select the other
// codings; everything else is stored combined with 0xAA.
std::vector<uint8_t> EncodeName(const std::string& name) {
  if (Packable(name)) {
    std::vector<uint8_t> packed = Pack(name);
    if (packed[0] != 1 && packed[0] != 2) return packed;
  }
  if (name.size() > 1 && name[0] == '@' && Packable(name.substr(1))) {
    std::vector<uint8_t> packed = Pack(name.substr(1));
    packed.insert(packed.begin(), 2);
    return packed;
  }
  std::vector<uint8_t> out{1};
  for (char c : name) {
    const uint8_t byte = static_cast<uint8_t>(c);
    out.push_back(byte == 0xAA ? byte : byte ^ 0xAA);
  }
  out.push_back(0);
  return out;
}

class NameArea {
 public:
  // 1-based index of `name` in the area; 0 for the empty name.
  uint32_t Index(const std::string& name) {
    if (name.empty()) return 0;
    auto [it, added] = indices_.emplace(name, static_cast<uint32_t>(bytes_.size()) + 1);
    if (added) {
      const std::vector<uint8_t> encoded = EncodeName(name);
      bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
    }
    return it->second;
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::map<std::string, uint32_t> indices_;
  std::vector<uint8_t> bytes_;
};

std::string SourceFileName(const std::string& unit) {
  return unit.find('.') == std::string::npos ? unit + ".pas" : unit;
}

std::vector<uint8_t> UnitsSection(const DebugTables& tables, NameArea& names) {
  std::vector<uint8_t> out;
  uint32_t address = 0, index = 0;
  for (const TableSegment& s : tables.segments) {
    if (!s.code) continue;
    const uint32_t name = names.Index(SourceFileName(s.unit));
    AppendValue(out, s.start - address);
    AppendValue(out, name - index);
    address = s.start;
    index = name;
  }
  AppendValue(out, kEndOfSection);
  return out;
}

std::vector<uint8_t> SymbolsSection(const DebugTables& tables, NameArea& names) {
  std::vector<uint8_t> out;
  uint32_t address = 0, first = 0, second = 0;
  for (const TablePublic& p : tables.publics) {
    if (!p.code) continue;
    const size_t dot = p.name.find('.');
    const uint32_t a = names.Index(p.name.substr(0, dot));
    const uint32_t b = dot == std::string::npos ? 0 : names.Index(p.name.substr(dot + 1));
    AppendValue(out, p.address - address);
    AppendValue(out, a - first);
    AppendValue(out, b - second);
    address = p.address;
    first = a;
    second = b;
  }
  AppendValue(out, kEndOfSection);
  return out;
}

std::vector<uint8_t> LinesSection(const DebugTables& tables) {
  std::vector<uint8_t> out;
  uint32_t address = 0, line = 0;
  for (const TableLine& l : tables.lines) {
    AppendValue(out, l.address - address);
    AppendValue(out, static_cast<uint32_t>(l.line) - line);
    address = l.address;
    line = static_cast<uint32_t>(l.line);
  }
  AppendValue(out, kEndOfSection);
  return out;
}

// Appends `section` and stores its offset in the header field at `field`.
void Place(std::vector<uint8_t>& out, size_t field, const std::vector<uint8_t>& section) {
  Put32(out, field, static_cast<uint32_t>(out.size()));
  out.insert(out.end(), section.begin(), section.end());
}

}  // namespace

std::vector<uint8_t> WriteJdbg(const DebugTables& tables, const JdbgOptions& options) {
  NameArea names;
  const std::vector<uint8_t> units = UnitsSection(tables, names);
  const std::vector<uint8_t> symbols = SymbolsSection(tables, names);
  const std::vector<uint8_t> lines = LinesSection(tables);
  std::vector<uint8_t> out(kHeaderSize);
  out[0] = 'J';
  out[1] = 'D';
  out[2] = 'B';
  out[3] = 'G';
  out[4] = 1;
  Place(out, 5, std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x07});  // module units: none
  Place(out, 9, units);
  Place(out, 13, symbols);
  Place(out, 17, lines);
  Place(out, 21, names.Bytes());
  out.resize((out.size() + 3) & ~size_t{3});
  if (options.checksum) {
    // With the checksum's bytes zero the words sum to the checksum itself.
    out[kJdbgChecksumValidAt] = 1;
    uint32_t sum = 0;
    for (size_t at = 0; at < out.size(); at += 4) {
      sum += uint32_t{out[at]} | uint32_t{out[at + 1]} << 8 | uint32_t{out[at + 2]} << 16 |
             uint32_t{out[at + 3]} << 24;
    }
    Put32(out, kJdbgChecksumAt, sum);
  }
  return out;
}

}  // namespace qor::test
