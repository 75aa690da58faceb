#include "tools/qor_convert/debug_tables.h"

#include <algorithm>
#include <map>

#include "tools/qor_convert/dwarf_info.h"
#include "tools/qor_convert/dwarf_line.h"
#include "tools/qor_convert/source_locations.h"
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

std::vector<CompactInlineFrame> Frames(const std::vector<InlineLevel>& levels) {
  std::vector<CompactInlineFrame> frames;
  for (const InlineLevel& level : levels) {
    frames.push_back({FitName(level.function, kMaxNameLength), level.file,
                      static_cast<int32_t>(level.line)});
  }
  return frames;
}

// Segments: runs of code whose outermost location lies in one file, named
// after it (a header's code gets a unit of its own). Lines: a record where
// the outermost file or line changes. Inline ranges: where the chain of
// inlined functions changes, and an empty range where a gap or the end
// leaves inlined code.
void AddLocations(const std::vector<LocatedRange>& located, uint32_t code_base, CompactTables& tables) {
  const LocatedRange* previous = nullptr;
  std::vector<InlineLevel> current;
  for (const LocatedRange& r : located) {
    const uint32_t begin = r.begin - code_base, end = r.end - code_base;
    const bool contiguous = previous && previous->end == r.begin;
    if (!contiguous && !current.empty()) {
      tables.inlines.push_back({previous->end - code_base, {}});
      current.clear();
    }
    CompactSegment* last = tables.segments.empty() ? nullptr : &tables.segments.back();
    if (contiguous && last->unit_name == r.file) {
      last->length = end - last->start;
    } else {
      tables.segments.push_back({begin, end - begin, r.file, false});
    }
    if (!contiguous || r.file != previous->file || r.line != previous->line) {
      tables.lines.push_back({static_cast<int32_t>(r.line), begin});
    }
    const bool same_chain = std::equal(
        r.inlined.begin(), r.inlined.end(), current.begin(), current.end(),
        [](const InlineLevel& a, const InlineLevel& b) {
          return a.line == b.line && a.file == b.file && a.function == b.function;
        });
    if (!same_chain) {
      tables.inlines.push_back({begin, Frames(r.inlined)});
      current = r.inlined;
    }
    previous = &r;
  }
  if (!current.empty()) tables.inlines.push_back({previous->end - code_base, {}});
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
  const DwarfSections sections{SectionOrEmpty(pe, ".debug_info"),    SectionOrEmpty(pe, ".debug_abbrev"),
                               SectionOrEmpty(pe, ".debug_str"),     SectionOrEmpty(pe, ".debug_line_str"),
                               SectionOrEmpty(pe, ".debug_str_offsets"), SectionOrEmpty(pe, ".debug_addr"),
                               SectionOrEmpty(pe, ".debug_ranges"),  SectionOrEmpty(pe, ".debug_rnglists")};
  std::vector<InlinedCall> calls;
  if (!ReadInlinedCalls(sections, programs, calls, error)) return false;
  // Sequences outside the code are those of discarded duplicate functions.
  const std::vector<CodeRange> code = CodeRanges(pe);
  const uint32_t image_base = pe.image_base();
  const auto keep = [&](uint32_t begin, uint32_t end) {
    return begin >= image_base && end > begin && InCode(code, begin - image_base);
  };
  AddPublics(pe, code_base, tables);
  AddLocations(LocateCode(programs, calls, keep), image_base + code_base, tables);
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
