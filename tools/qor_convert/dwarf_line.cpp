#include "tools/qor_convert/dwarf_line.h"

#include "tools/qor_convert/dwarf_cursor.h"

namespace qor::convert {
namespace {

// DWARF constants used here.
constexpr uint32_t kFormString = 0x08, kFormStrp = 0x0E, kFormLineStrp = 0x1F, kFormUdata = 0x0F,
                   kFormData1 = 0x0B, kFormData2 = 0x05, kFormData4 = 0x06, kFormData8 = 0x07,
                   kFormData16 = 0x1E, kFormBlock = 0x09;
constexpr uint64_t kContentPath = 1;
constexpr uint8_t kCopy = 1, kAdvancePc = 2, kAdvanceLine = 3, kSetFile = 4, kConstAddPc = 8,
                  kFixedAdvancePc = 9;
constexpr uint8_t kEndSequence = 1, kSetAddress = 2, kDefineFile = 3;
// More files than this in one unit is a damaged header, not a program.
constexpr uint64_t kMaxFiles = 1u << 20;

struct Header {
  uint16_t version = 0;
  uint8_t min_instruction_length = 1;
  int8_t line_base = 0;
  uint8_t line_range = 1;
  uint8_t opcode_base = 1;
  std::vector<uint8_t> standard_lengths;
};

// One DWARF 5 entry-format attribute; the path, when that is what it is.
void ReadFormValue(Cursor& c, uint64_t form, std::span<const uint8_t> line_strings,
                   std::span<const uint8_t> strings, std::string& text) {
  switch (form) {
    case kFormString: text = c.String(); break;
    case kFormLineStrp: text = StringAt(line_strings, c.Fixed(4)); break;
    case kFormStrp: text = StringAt(strings, c.Fixed(4)); break;
    case kFormUdata: c.Uleb(); break;
    case kFormData1: c.Skip(1); break;
    case kFormData2: c.Skip(2); break;
    case kFormData4: c.Skip(4); break;
    case kFormData8: c.Skip(8); break;
    case kFormData16: c.Skip(16); break;
    case kFormBlock: c.Skip(c.Uleb()); break;
    default: c.failed = true;
  }
}

// DWARF 5: directories, then files numbered from 0 (the unit's own source).
void ReadV5Files(Cursor& c, std::span<const uint8_t> line_strings,
                 std::span<const uint8_t> strings, LineProgram& program) {
  for (int table = 0; table < 2 && !c.failed; ++table) {
    const uint64_t format_count = c.Fixed(1);
    std::vector<std::pair<uint64_t, uint64_t>> format;
    for (uint64_t i = 0; i < format_count && !c.failed; ++i) {
      const uint64_t content = c.Uleb();
      format.emplace_back(content, c.Uleb());
    }
    const uint64_t count = c.Uleb();
    if (count > kMaxFiles) c.failed = true;
    for (uint64_t i = 0; i < count && !c.failed; ++i) {
      std::string path;
      for (const auto& [content, form] : format) {
        std::string text;
        ReadFormValue(c, form, line_strings, strings, text);
        if (content == kContentPath) path = text;
      }
      if (table == 1) program.files.push_back(BaseName(path));
    }
  }
}

// DWARF 2 to 4: include directories, then files numbered from 1.
void ReadV4Files(Cursor& c, LineProgram& program) {
  while (!c.failed && !c.String().empty()) {
  }
  program.files.push_back({});
  while (!c.failed && program.files.size() < kMaxFiles) {
    const std::string name = c.String();
    if (name.empty()) break;
    c.Uleb();
    c.Uleb();
    c.Uleb();
    program.files.push_back(BaseName(name));
  }
}

struct State {
  uint32_t address = 0;
  int64_t line = 1;
  uint32_t file = 1;
};

void Emit(LineSequence& sequence, const State& s) {
  sequence.rows.push_back({s.address, static_cast<uint32_t>(s.line), s.file});
}

void RunExtended(Cursor& c, State& s, LineSequence& sequence, LineProgram& program) {
  const uint64_t length = c.Uleb();
  if (length == 0 || !c.Has(length)) {
    c.failed = true;
    return;
  }
  const size_t next = c.at + static_cast<size_t>(length);
  const uint8_t sub = static_cast<uint8_t>(c.Fixed(1));
  if (sub == kEndSequence) {
    sequence.end = s.address;
    program.sequences.push_back(std::move(sequence));
    sequence = LineSequence{};
    s = State{};
  } else if (sub == kSetAddress) {
    s.address = static_cast<uint32_t>(c.Fixed(length - 1 >= 4 ? 4 : static_cast<size_t>(length - 1)));
  } else if (sub == kDefineFile && program.files.size() < kMaxFiles) {
    program.files.push_back(BaseName(c.String()));
  }
  c.at = next;
}

void RunProgram(Cursor& c, const Header& h, LineProgram& program) {
  State s;
  LineSequence sequence;
  while (!c.AtEnd()) {
    const uint8_t opcode = static_cast<uint8_t>(c.Fixed(1));
    if (opcode >= h.opcode_base) {
      const uint32_t adjusted = opcode - h.opcode_base;
      s.address += adjusted / h.line_range * h.min_instruction_length;
      s.line += h.line_base + static_cast<int>(adjusted % h.line_range);
      Emit(sequence, s);
      continue;
    }
    switch (opcode) {
      case 0: RunExtended(c, s, sequence, program); break;
      case kCopy: Emit(sequence, s); break;
      case kAdvancePc: s.address += static_cast<uint32_t>(c.Uleb() * h.min_instruction_length); break;
      case kAdvanceLine: s.line += c.Sleb(); break;
      case kSetFile: s.file = static_cast<uint32_t>(c.Uleb()); break;
      case kConstAddPc: s.address += (255u - h.opcode_base) / h.line_range * h.min_instruction_length; break;
      case kFixedAdvancePc: s.address += static_cast<uint32_t>(c.Fixed(2)); break;
      default:
        // Operands of every other standard opcode are ULEB values, as many as
        // the header says; none of them moves the address, line or file.
        for (uint8_t i = 0; i < h.standard_lengths[opcode - 1u] && !c.failed; ++i) c.Uleb();
    }
  }
}

bool ReadUnit(Cursor& unit, std::span<const uint8_t> line_strings,
              std::span<const uint8_t> strings, LineProgram& program) {
  Header h;
  h.version = static_cast<uint16_t>(unit.Fixed(2));
  if (h.version < 2 || h.version > 5) return false;
  if (h.version >= 5) unit.Fixed(2);  // address size, segment selector size
  const uint64_t header_length = unit.Fixed(4);
  const uint64_t program_start = unit.at + header_length;
  h.min_instruction_length = static_cast<uint8_t>(unit.Fixed(1));
  if (h.version >= 4) unit.Fixed(1);  // maximum operations per instruction
  unit.Fixed(1);                      // default is_stmt
  h.line_base = static_cast<int8_t>(unit.Fixed(1));
  h.line_range = static_cast<uint8_t>(unit.Fixed(1));
  h.opcode_base = static_cast<uint8_t>(unit.Fixed(1));
  if (h.line_range == 0 || h.opcode_base == 0) return false;
  for (int i = 1; i < h.opcode_base; ++i) h.standard_lengths.push_back(static_cast<uint8_t>(unit.Fixed(1)));
  if (h.version >= 5) {
    ReadV5Files(unit, line_strings, strings, program);
  } else {
    ReadV4Files(unit, program);
  }
  if (unit.failed || program_start > unit.data.size()) return false;
  unit.at = static_cast<size_t>(program_start);
  RunProgram(unit, h, program);
  return !unit.failed;
}

}  // namespace

const std::string& LineProgram::FileName(uint64_t number) const {
  static const std::string kNone;
  return number < files.size() ? files[static_cast<size_t>(number)] : kNone;
}

bool ReadLinePrograms(std::span<const uint8_t> debug_line, std::span<const uint8_t> line_strings,
                      std::span<const uint8_t> strings, std::vector<LineProgram>& programs,
                      std::string& error) {
  Cursor all{debug_line};
  while (!all.AtEnd()) {
    const size_t offset = all.at;
    const uint32_t length = static_cast<uint32_t>(all.Fixed(4));
    if (length >= 0xFFFFFFF0u || !all.Has(length)) {
      error = "line unit at offset " + std::to_string(offset) + " is truncated or 64-bit";
      return false;
    }
    Cursor unit{debug_line.subspan(all.at, length)};
    all.at += length;
    LineProgram program;
    program.offset = offset;
    if (!ReadUnit(unit, line_strings, strings, program)) {
      error = "line unit at offset " + std::to_string(offset) + " is malformed";
      return false;
    }
    programs.push_back(std::move(program));
  }
  return true;
}

}  // namespace qor::convert
