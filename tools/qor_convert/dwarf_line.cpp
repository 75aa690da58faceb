#include "tools/qor_convert/dwarf_line.h"

#include <cstring>

namespace qor::convert {
namespace {

// DWARF constants used here.
constexpr uint32_t kFormString = 0x08, kFormStrp = 0x0E, kFormLineStrp = 0x1F, kFormUdata = 0x0F,
                   kFormData1 = 0x0B, kFormData2 = 0x05, kFormData4 = 0x06, kFormData8 = 0x07,
                   kFormData16 = 0x1E, kFormBlock = 0x09;
constexpr uint32_t kContentPath = 1;

// A bounded cursor: every read past the end sets `failed` and yields 0.
struct Cursor {
  std::span<const uint8_t> data;
  size_t at = 0;
  bool failed = false;

  bool Has(size_t count) {
    if (data.size() - at < count || at > data.size()) failed = true;
    return !failed;
  }
  uint64_t Fixed(size_t count) {
    if (!Has(count)) return 0;
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
    int shift = 0;
    for (; Has(1); shift += 7) {
      const uint8_t byte = data[at++];
      if (shift < 64) value |= static_cast<int64_t>(uint64_t{byte & 0x7Fu} << shift);
      if (!(byte & 0x80)) {
        if (shift + 7 < 64 && (byte & 0x40)) value |= -(int64_t{1} << (shift + 7));
        return value;
      }
    }
    return 0;
  }
  std::string String() {
    if (!Has(1)) return {};
    const char* text = reinterpret_cast<const char*>(data.data() + at);
    const size_t length = strnlen(text, data.size() - at);
    if (!Has(length + 1)) return {};
    at += length + 1;
    return std::string(text, length);
  }
};

std::string StringAt(std::span<const uint8_t> section, uint64_t offset) {
  if (offset >= section.size()) return {};
  const char* text = reinterpret_cast<const char*>(section.data() + offset);
  return std::string(text, strnlen(text, section.size() - offset));
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Header {
  uint8_t min_instruction_length = 1;
  bool default_is_stmt = true;
  int8_t line_base = 0;
  uint8_t line_range = 1;
  uint8_t opcode_base = 1;
  std::vector<uint8_t> standard_lengths;
  std::string source_name;
};

// One DWARF 5 entry-format attribute; the path, when that is what it is.
void ReadFormValue(Cursor& c, uint64_t form, std::span<const uint8_t> line_strings,
                   std::span<const uint8_t> strings, std::string& text) {
  switch (form) {
    case kFormString: text = c.String(); break;
    case kFormLineStrp: text = StringAt(line_strings, c.Fixed(4)); break;
    case kFormStrp: text = StringAt(strings, c.Fixed(4)); break;
    case kFormUdata: c.Uleb(); break;
    case kFormData1: c.Fixed(1); break;
    case kFormData2: c.Fixed(2); break;
    case kFormData4: c.Fixed(4); break;
    case kFormData8: c.Fixed(8); break;
    case kFormData16: c.Fixed(16); break;
    case kFormBlock: {
      const uint64_t length = c.Uleb();
      if (c.Has(length)) c.at += length;
      break;
    }
    default: c.failed = true;
  }
}

// DWARF 5: file 0 is the unit's primary source file.
void ReadV5Files(Cursor& c, std::span<const uint8_t> line_strings,
                 std::span<const uint8_t> strings, Header& header) {
  for (int table = 0; table < 2 && !c.failed; ++table) {
    const uint64_t format_count = c.Fixed(1);
    std::vector<std::pair<uint64_t, uint64_t>> format;
    for (uint64_t i = 0; i < format_count && !c.failed; ++i) {
      const uint64_t content = c.Uleb();
      format.emplace_back(content, c.Uleb());
    }
    const uint64_t count = c.Uleb();
    for (uint64_t i = 0; i < count && !c.failed; ++i) {
      for (const auto& [content, form] : format) {
        std::string text;
        ReadFormValue(c, form, line_strings, strings, text);
        if (table == 1 && i == 0 && content == kContentPath) header.source_name = BaseName(text);
      }
    }
  }
}

// DWARF 4: the compiler lists the unit's own source as file 1.
void ReadV4Files(Cursor& c, Header& header) {
  while (!c.failed && !c.String().empty()) {
  }
  for (int index = 1; !c.failed; ++index) {
    const std::string name = c.String();
    if (name.empty()) break;
    c.Uleb();
    c.Uleb();
    c.Uleb();
    if (index == 1) header.source_name = BaseName(name);
  }
}

void RunProgram(Cursor& c, const Header& h, LineProgram& program) {
  uint32_t address = 0;
  int64_t line = 1;
  LineSequence sequence;
  while (c.at < c.data.size() && !c.failed) {
    const uint8_t opcode = static_cast<uint8_t>(c.Fixed(1));
    if (opcode >= h.opcode_base) {
      const uint32_t adjusted = opcode - h.opcode_base;
      address += adjusted / h.line_range * h.min_instruction_length;
      line += h.line_base + static_cast<int>(adjusted % h.line_range);
      sequence.rows.push_back({address, static_cast<uint32_t>(line)});
      continue;
    }
    switch (opcode) {
      case 0: {
        const uint64_t length = c.Uleb();
        if (length == 0 || !c.Has(length)) {
          c.failed = true;
          break;
        }
        const size_t next = c.at + length;
        const uint8_t sub = static_cast<uint8_t>(c.Fixed(1));
        if (sub == 1) {  // end_sequence
          sequence.end = address;
          program.sequences.push_back(std::move(sequence));
          sequence = LineSequence{};
          address = 0;
          line = 1;
        } else if (sub == 2) {  // set_address
          address = static_cast<uint32_t>(c.Fixed(length - 1 >= 4 ? 4 : length - 1));
        }
        c.at = next;
        break;
      }
      case 1: sequence.rows.push_back({address, static_cast<uint32_t>(line)}); break;
      case 2: address += static_cast<uint32_t>(c.Uleb() * h.min_instruction_length); break;
      case 3: line += c.Sleb(); break;
      case 8: address += (255u - h.opcode_base) / h.line_range * h.min_instruction_length; break;
      case 9: address += static_cast<uint32_t>(c.Fixed(2)); break;
      default:
        // Operands of every other standard opcode are ULEB values, as many as
        // the header says; none of them moves the address or the line.
        for (uint8_t i = 0; i < h.standard_lengths[opcode - 1u] && !c.failed; ++i) c.Uleb();
    }
  }
}

bool ReadUnit(Cursor& unit, std::span<const uint8_t> line_strings,
              std::span<const uint8_t> strings, LineProgram& program) {
  Header h;
  const uint16_t version = static_cast<uint16_t>(unit.Fixed(2));
  if (version < 2 || version > 5) return false;
  if (version >= 5) unit.Fixed(2);  // address size, segment selector size
  const uint64_t header_length = unit.Fixed(4);
  const size_t program_start = unit.at + header_length;
  h.min_instruction_length = static_cast<uint8_t>(unit.Fixed(1));
  if (version >= 4) unit.Fixed(1);  // maximum operations per instruction
  h.default_is_stmt = unit.Fixed(1) != 0;
  h.line_base = static_cast<int8_t>(unit.Fixed(1));
  h.line_range = static_cast<uint8_t>(unit.Fixed(1));
  h.opcode_base = static_cast<uint8_t>(unit.Fixed(1));
  if (h.line_range == 0 || h.opcode_base == 0) return false;
  for (int i = 1; i < h.opcode_base; ++i) h.standard_lengths.push_back(static_cast<uint8_t>(unit.Fixed(1)));
  if (version >= 5) {
    ReadV5Files(unit, line_strings, strings, h);
  } else {
    ReadV4Files(unit, h);
  }
  if (unit.failed || program_start > unit.data.size()) return false;
  program.source_name = h.source_name;
  unit.at = program_start;
  RunProgram(unit, h, program);
  return !unit.failed;
}

}  // namespace

bool ReadLinePrograms(std::span<const uint8_t> debug_line, std::span<const uint8_t> line_strings,
                      std::span<const uint8_t> strings, std::vector<LineProgram>& programs,
                      std::string& error) {
  Cursor all{debug_line};
  while (all.at < debug_line.size()) {
    const size_t offset = all.at;
    const uint32_t length = static_cast<uint32_t>(all.Fixed(4));
    if (length >= 0xFFFFFFF0u || !all.Has(length)) {
      error = "line unit at offset " + std::to_string(offset) + " is truncated or 64-bit";
      return false;
    }
    Cursor unit{debug_line.subspan(all.at, length)};
    all.at += length;
    LineProgram program;
    if (!ReadUnit(unit, line_strings, strings, program)) {
      error = "line unit at offset " + std::to_string(offset) + " is malformed";
      return false;
    }
    programs.push_back(std::move(program));
  }
  return true;
}

}  // namespace qor::convert
