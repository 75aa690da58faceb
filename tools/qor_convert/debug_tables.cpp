#include "tools/qor_convert/debug_tables.h"

#include <algorithm>
#include <map>

#include "tools/qor_convert/dwarf_line.h"
#include "tools/qor_convert/symbol_names.h"

namespace qor::convert {
namespace {

constexpr uint32_t kCodeFlag = 0x20;
constexpr uint16_t kFunctionType = 0x20;
constexpr uint8_t kExternal = 2;
// A packed string holds at most 255 bytes.
constexpr size_t kMaxNameLength = 255;

std::span<const uint8_t> SectionOrEmpty(const PeFile& pe, const char* name) {
  const PeSection* s = pe.Find(name);
  return s ? pe.Contents(*s) : std::span<const uint8_t>{};
}

struct CodeRange {
  uint32_t begin = 0;  // RVA
  uint32_t end = 0;
  bool Holds(uint32_t rva) const { return rva >= begin && rva < end; }
};

std::vector<CodeRange> CodeRanges(const PeFile& pe) {
  std::vector<CodeRange> ranges;
  for (const PeSection& s : pe.sections()) {
    if (s.characteristics & kCodeFlag) ranges.push_back({s.virtual_address, s.virtual_address + s.virtual_size});
  }
  return ranges;
}

bool InCode(const std::vector<CodeRange>& ranges, uint32_t rva) {
  return std::any_of(ranges.begin(), ranges.end(), [&](const CodeRange& r) { return r.Holds(rva); });
}

void AddPublics(const PeFile& pe, uint32_t code_base, CompactTables& tables) {
  // address -> (is external, name)
  std::map<uint32_t, std::pair<bool, std::string>> chosen;
  for (const CoffSymbol& symbol : pe.symbols()) {
    if (symbol.section <= 0 || static_cast<size_t>(symbol.section) > pe.sections().size() ||
        (symbol.type & 0x30) != kFunctionType) {
      continue;
    }
    const PeSection& section = pe.sections()[static_cast<size_t>(symbol.section) - 1];
    if (!(section.characteristics & kCodeFlag)) continue;
    const uint32_t rva = section.virtual_address + symbol.value;
    const bool external = symbol.storage == kExternal;
    auto [it, added] = chosen.try_emplace(rva, external, symbol.name);
    if (!added && external && !it->second.first) it->second = {true, symbol.name};
  }
  for (const auto& [rva, entry] : chosen) {
    tables.publics.push_back({FitName(ReadableSymbolName(entry.second), kMaxNameLength), rva - code_base});
  }
}

// Lines and the address runs of each unit; sequences outside the code
// (those of discarded duplicate functions) are dropped.
void AddUnits(const std::vector<LineProgram>& programs, const std::vector<CodeRange>& code,
              uint32_t image_base, uint32_t code_base, CompactTables& tables) {
  std::map<uint32_t, int32_t> lines;  // RVA -> line, last row wins
  struct Run {
    uint32_t begin, end;
    const std::string* unit;
  };
  std::vector<Run> runs;
  for (const LineProgram& program : programs) {
    for (const LineSequence& sequence : program.sequences) {
      if (sequence.rows.empty() || sequence.rows.front().address < image_base) continue;
      const uint32_t begin = sequence.rows.front().address - image_base;
      const uint32_t end = sequence.end - image_base;
      if (!InCode(code, begin) || end <= begin) continue;
      runs.push_back({begin, end, &program.source_name});
      for (const LineRow& row : sequence.rows) {
        if (row.address - image_base < end) lines[row.address - image_base] = static_cast<int32_t>(row.line);
      }
    }
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.begin < b.begin; });
  for (const Run& run : runs) {
    CompactSegment* last = tables.segments.empty() ? nullptr : &tables.segments.back();
    if (last && last->unit_name == *run.unit && last->start + code_base + last->length >= run.begin) {
      last->length = std::max(last->length, run.end - code_base - last->start);
      continue;
    }
    tables.segments.push_back({run.begin - code_base, run.end - run.begin, *run.unit, false});
  }
  for (const auto& [rva, line] : lines) tables.lines.push_back({line, rva - code_base});
}

}  // namespace

uint32_t CodeBaseRva(const PeFile& pe) {
  const PeSection* first = pe.FirstCodeSection();
  return first ? first->virtual_address : Get32(pe.bytes(), pe.optional_offset() + 20);
}

bool BuildDebugTables(const PeFile& pe, CompactTables& tables, std::string& error) {
  const uint32_t code_base = CodeBaseRva(pe);
  std::vector<LineProgram> programs;
  if (!ReadLinePrograms(SectionOrEmpty(pe, ".debug_line"), SectionOrEmpty(pe, ".debug_line_str"),
                        SectionOrEmpty(pe, ".debug_str"), programs, error)) {
    return false;
  }
  AddPublics(pe, code_base, tables);
  AddUnits(programs, CodeRanges(pe), pe.image_base(), code_base, tables);
  tables.entry_point = pe.entry_point_rva() - code_base;
  return true;
}

uint64_t DwarfSize(const PeFile& pe) {
  uint64_t total = 0;
  for (const PeSection& s : pe.sections()) {
    if (s.name.rfind(".debug_", 0) == 0) total += s.raw_size;
  }
  return total;
}

}  // namespace qor::convert
