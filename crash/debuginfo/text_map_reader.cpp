#include "crash/debuginfo/text_map_reader.h"

#include <algorithm>
#include <string>
#include <vector>

#include "crash/debuginfo/table_builder.h"

namespace qor {
namespace {

constexpr std::string_view kSegmentListHeading =
    "Start         Length     Name                   Class";
constexpr std::string_view kEntryPointHeading = "Program entry point at ";
constexpr std::string_view kLinesHeading = "Line numbers for ";

// Characters at 1-based positions, as the map's columns are counted from
// the first non-space character of a line; '\0' beyond the line.
char At(std::string_view line, size_t position) {
  return position >= 1 && position <= line.size() ? line[position - 1] : '\0';
}

std::string_view Field(std::string_view line, size_t position, size_t length) {
  if (position < 1 || position - 1 + length > line.size()) return {};
  return line.substr(position - 1, length);
}

bool Hex(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<uint32_t>(c - 'a' + 10);
    else
      return false;
    value = value << 4 | digit;
  }
  return true;
}

bool Decimal(std::string_view text, int32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The name field of a segment-list line: the word after the length.
std::string_view SegmentName(std::string_view line) {
  const std::string_view rest = TrimSpaces(line.substr(std::min<size_t>(line.size(), 24)));
  return rest.substr(0, rest.find(' '));
}

enum class Section { kNone, kSegmentList, kSegments, kPublics, kLines };

class TextMapReader {
 public:
  explicit TextMapReader(TMapFile& map) : map_(map), builder_(map) {}

  void ReadLine(std::string_view line) {
    line = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
    if (line.empty()) return;
    if (line[0] < '0' || line[0] > '9') return Heading(line);
    switch (section_) {
      case Section::kSegmentList:
        return SegmentListLine(line);
      case Section::kSegments:
        return SegmentLine(line);
      case Section::kPublics:
        return PublicLine(line);
      case Section::kLines:
        return LineNumbersLine(line);
      case Section::kNone:
        return;
    }
  }

  void Finish() { LeaveSection(); }

 private:
  // Every line that does not start with a digit heads a section; the ones
  // not read here (publics by name, resource files) end the previous one.
  void Heading(std::string_view line) {
    LeaveSection();
    section_ = Section::kNone;
    if (line.substr(0, kSegmentListHeading.size()) == kSegmentListHeading) {
      section_ = Section::kSegmentList;
    } else if (line.find("Detailed map of segments") != std::string_view::npos) {
      section_ = Section::kSegments;
    } else if (line.find("Publics by Value") != std::string_view::npos) {
      section_ = Section::kPublics;
    } else if (line.substr(0, kLinesHeading.size()) == kLinesHeading) {
      const std::string_view rest = line.substr(kLinesHeading.size());
      if (rest.find('(') != std::string_view::npos && rest.find(')') != std::string_view::npos) {
        section_ = Section::kLines;
        block_started_ = false;
      }
    } else if (line.substr(0, kEntryPointHeading.size()) == kEntryPointHeading) {
      EntryPointLine(line);
    }
  }

  // The units are sorted once they are all read, before publics need them.
  void LeaveSection() {
    if (section_ == Section::kSegments) builder_.SortSegments();
  }

  // The number of the data segment, and where a second code segment starts
  // relative to the first: the length of ".text" rounded up to a page.
  void SegmentListLine(std::string_view line) {
    const std::string_view name = SegmentName(line);
    int32_t number = 0;
    if (name == ".data" && Decimal(Field(line, 1, 4), number)) {
      data_segment_ = number >= 2 && number <= 9 ? static_cast<uint32_t>(number) : 2;
    } else if (name == ".text" && At(line, 5) == ':' && At(line, 14) == ' ' &&
               At(line, 23) == 'H') {
      uint32_t length = 0;
      if (Hex(Field(line, 15, 8), length)) second_code_offset_ = (length + 0xFFFu) & ~0xFFFu;
    }
  }

  // Segment number and offset at the start of a line, the offset made
  // relative to the first code segment.
  bool SegmentAndOffset(std::string_view line, uint32_t& segment, uint32_t& offset) const {
    if (!Hex(Field(line, 1, 4), segment) || !Hex(Field(line, 6, 8), offset)) return false;
    if (segment > 1 && segment < data_segment_) offset += second_code_offset_;
    return true;
  }

  void SegmentLine(std::string_view line) {
    if (line.size() < 73 || At(line, 5) != ':' || At(line, 14) != ' ' || At(line, 23) != ' ' ||
        Field(line, 24, 2) != "C=") {
      return;
    }
    uint32_t segment = 0, offset = 0, length = 0;
    if (!SegmentAndOffset(line, segment, offset) || !Hex(Field(line, 15, 8), length)) return;
    if (segment < 1 || segment > data_segment_) return;
    const SymbolKind kind = segment < data_segment_ ? SymbolKind::kCode : SymbolKind::kData;
    builder_.AddSegment(kind, true, offset, false, false, std::string(UnitName(line)), length);
  }

  // The module field ends the line but for the linker's trailing "ACBP="
  // attribute; the unit is what follows its last "=", "\" or "|".
  static std::string_view UnitName(std::string_view line) {
    std::string_view text = TrimSpaces(line);
    const size_t attribute = text.rfind(" ACBP=");
    if (attribute != std::string_view::npos &&
        text.find(' ', attribute + 1) == std::string_view::npos) {
      text = TrimSpaces(text.substr(0, attribute));
    }
    const size_t cut = text.find_last_of("=\\|");
    return cut == std::string_view::npos ? text : text.substr(cut + 1);
  }

  void PublicLine(std::string_view line) {
    if (line.size() < 14 || At(line, 5) != ':') return;
    uint32_t segment = 0, offset = 0;
    if (!SegmentAndOffset(line, segment, offset) || segment == 0 || segment > data_segment_) return;
    std::string_view text = TrimSpaces(line);
    if (text.back() == ')') text = TrimSpaces(text.substr(0, text.rfind('(')));
    const size_t space = text.rfind(' ');
    if (space == std::string_view::npos) return;
    std::string name(text.substr(space + 1));
    const SymbolKind kind = segment < data_segment_ ? SymbolKind::kCode : SymbolKind::kData;
    if (data_segment_ > 2 && kind == SymbolKind::kCode) {
      name = builder_.WithoutUnitPrefix(name, offset + map_.BaseOfCode);
    }
    builder_.AddPublic(kind, std::move(name), offset, false);
  }

  // Pairs of a decimal line number and "ssss:oooooooo"; a pair that does
  // not parse drops the whole line, a pair outside the code only itself.
  void LineNumbersLine(std::string_view line) {
    std::vector<TMfLine> records;
    size_t previous_end = 0;
    for (size_t colon = line.find(':'); colon != std::string_view::npos;
         colon = line.find(':', colon + 1)) {
      uint32_t segment = 0, offset = 0;
      int32_t number = 0;
      if (colon < 5 || colon - 5 < previous_end || line[colon - 5] != ' ' ||
          colon + 9 > line.size() || !Hex(line.substr(colon - 4, 4), segment) ||
          !Hex(line.substr(colon + 1, 8), offset) ||
          !Decimal(TrimSpaces(line.substr(previous_end, colon - 5 - previous_end)), number)) {
        return;
      }
      previous_end = colon + 9;
      if (segment == 0 || segment >= data_segment_) continue;
      if (segment > 1) offset += second_code_offset_;
      records.push_back({number, offset + map_.BaseOfCode});
    }
    for (const TMfLine& record : records) {
      builder_.AddLine(record.Line, record.Address, block_started_);
      block_started_ = true;
    }
  }

  // The entry point may lie in the second code segment, as the start-up
  // code of newer programs does.
  void EntryPointLine(std::string_view line) {
    uint32_t segment = 0, offset = 0;
    if (At(line, 28) != ':' || !Hex(Field(line, 24, 4), segment) ||
        !Hex(Field(line, 29, 8), offset)) {
      return;
    }
    if (segment > 1 && segment < data_segment_) offset += second_code_offset_;
    map_.EntryPoint = offset + map_.BaseOfCode;
  }

  TMapFile& map_;
  TableBuilder builder_;
  Section section_ = Section::kNone;
  uint32_t data_segment_ = 2;
  uint32_t second_code_offset_ = 0;
  bool block_started_ = false;
};

}  // namespace

void ReadTextMap(std::string_view text, TMapFile& map) {
  TextMapReader reader(map);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    reader.ReadLine(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  reader.Finish();
}

}  // namespace qor
