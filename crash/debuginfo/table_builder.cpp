#include "crash/debuginfo/table_builder.h"

#include <algorithm>
#include <utility>

#include "crash/attach/case_compare.h"
#include "crash/debuginfo/halving_search.h"
#include "crash/debuginfo/table_order.h"
#include "crash/modules/unmangle.h"

namespace qor {
namespace {

uint8_t KindByte(SymbolKind kind) {
  return kind == SymbolKind::kCode ? 1 : 0;
}

uint64_t End(const TMfSegment& s) {
  return uint64_t{s.Start} + s.Length;
}

uint32_t ClampLength(uint64_t length) {
  return static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX));
}

// The tool chain names units after their source or project file.
void StripSourceExtension(std::string& unit_name) {
  const size_t n = unit_name.size();
  if (n < 4 || unit_name[n - 4] != '.') return;
  const std::string_view ending(unit_name.data() + n - 3, 3);
  if (EqualNoCase(ending, "pas") || EqualNoCase(ending, "dpr")) unit_name.resize(n - 4);
}

// "@$x?$..." names are helper symbols of the compiler, not functions.
bool IsHelperSymbol(const std::string& name) {
  return name.size() >= 6 && name[0] == '@' && name[1] == '$' && name[2] == 'x' && name[4] == '$';
}

}  // namespace

uint32_t TableBuilder::Base(SymbolKind kind) const {
  return kind == SymbolKind::kCode ? map_.BaseOfCode : map_.BaseOfData;
}

int32_t TableBuilder::FindSegment(SymbolKind kind, uint32_t address) const {
  const uint8_t want_code = KindByte(kind);
  return HalvingSearch(map_.SegmentCount, [&](int32_t i) {
    const TMfSegment& s = map_.Segments[static_cast<size_t>(i)];
    if (s.IsCode != want_code) return s.IsCode ? 1 : -1;
    if (address < s.Start) return -1;
    return address >= End(s) ? 1 : 0;
  });
}

void TableBuilder::AddSegment(SymbolKind kind, bool add_base, uint32_t start, bool merge,
                              bool sorted_insert, std::string unit_name, uint32_t length) {
  if (kind == SymbolKind::kData && map_.CodeOnly) return;
  StripSourceExtension(unit_name);
  if (add_base) start += Base(kind);
  int32_t& current = Current(kind);
  if (merge && current >= 0) {
    TMfSegment& c = map_.Segments[static_cast<size_t>(current)];
    if (c.UnitName == unit_name && start >= c.Start && start <= End(c) + 2) {
      c.Length = ClampLength(std::max(End(c), uint64_t{start} + length) - c.Start);
      return;
    }
  }
  TMfSegment segment{1, KindByte(kind), start, length, std::move(unit_name), 0};
  if (sorted_insert) {
    InsertSorted(std::move(segment));
  } else {
    map_.AddSegment(segment);
    current = map_.SegmentCount - 1;
  }
}

void TableBuilder::InsertSorted(TMfSegment segment) {
  const bool code = segment.IsCode != 0;
  map_.AddSegment(segment);
  int32_t at = map_.SegmentCount - 1;
  std::vector<TMfSegment>& table = map_.Segments;
  while (at > 0 && SegmentBefore(segment, table[static_cast<size_t>(at) - 1])) {
    table[static_cast<size_t>(at)] = std::move(table[static_cast<size_t>(at) - 1]);
    --at;
  }
  table[static_cast<size_t>(at)] = std::move(segment);
  // The other kind's current segment moved up by one when it lay above.
  int32_t& other = Current(code ? SymbolKind::kData : SymbolKind::kCode);
  if (other >= at) ++other;
  Current(code ? SymbolKind::kCode : SymbolKind::kData) = at;
}

void TableBuilder::AddPublic(SymbolKind kind, std::string name, uint32_t address,
                             bool create_segments) {
  if ((kind == SymbolKind::kData && map_.CodeOnly) || IsHelperSymbol(name)) return;
  std::string unit;
  Unmangle(name, unit);
  address += Base(kind);
  const int32_t holder = FindSegment(kind, address);
  if (holder >= 0) {
    const std::string& holder_unit = map_.Segments[static_cast<size_t>(holder)].UnitName;
    if (name == holder_unit) name = "initialization";
    if (unit.empty()) {
      unit = holder_unit;
    } else if (!EqualNoCase(unit, holder_unit)) {
      name = unit + "." + name;
      unit = holder_unit;
    }
  }
  map_.AddPublic(TMfPublic{1, KindByte(kind), std::move(name), address});
  if (!create_segments) return;
  // A public inside a known unit makes that unit the current one, so the
  // segments made for publics in the gaps never overlap the known ones
  // (which would mislead the halving search).
  if (holder >= 0) Current(kind) = holder;
  ExtendCurrentTo(kind, address);
  const int32_t current = Current(kind);
  if (current >= 0) {
    const TMfSegment& c = map_.Segments[static_cast<size_t>(current)];
    if (address == c.Start || EqualNoCase(c.UnitName, unit)) return;
  }
  AddSegment(kind, false, address, true, true, std::move(unit), 1);
}

// Grows the current segment of `kind` up to `address`, but never into the
// following segment of the same kind.
void TableBuilder::ExtendCurrentTo(SymbolKind kind, uint32_t address) {
  const int32_t current = Current(kind);
  if (current < 0) return;
  TMfSegment& c = map_.Segments[static_cast<size_t>(current)];
  uint64_t end = address;
  if (current + 1 < map_.SegmentCount) {
    const TMfSegment& next = map_.Segments[static_cast<size_t>(current) + 1];
    if (next.IsCode == c.IsCode) end = std::min<uint64_t>(end, next.Start);
  }
  if (end > End(c)) c.Length = ClampLength(end - c.Start);
}

void TableBuilder::AddLine(int32_t line, uint32_t address, bool ascending_only) {
  if (ascending_only && map_.LineCount > 0 && address <= map_.Lines.back().Address) return;
  map_.AddLine(line, address);
}

void TableBuilder::SortSegments() {
  map_.SortSegments();
  ForgetCurrent();
}

void TableBuilder::CleanUpSegments(bool overlapping_only) {
  std::vector<TMfSegment>& table = map_.Segments;
  std::vector<TMfSegment> kept;
  kept.reserve(table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    TMfSegment& s = table[i];
    if (s.Length == 0) continue;
    if (i + 1 < table.size() && table[i + 1].IsCode == s.IsCode && table[i + 1].Start == s.Start) {
      // The next one takes this one's place, keeping the wider reach.
      table[i + 1].Length = std::max(table[i + 1].Length, s.Length);
      continue;
    }
    if (!kept.empty() && kept.back().IsCode == s.IsCode) {
      TMfSegment& previous = kept.back();
      if (!overlapping_only || End(previous) >= s.Start) {
        const uint64_t reach = std::max(End(previous), End(s));
        previous.Length = s.Start - previous.Start;
        if (EqualNoCase(previous.UnitName, s.UnitName)) {
          previous.Length = ClampLength(reach - previous.Start);
          continue;
        }
      }
    }
    kept.push_back(std::move(s));
  }
  table = std::move(kept);
  map_.SegmentCount = static_cast<int32_t>(table.size());
  ForgetCurrent();
}

void TableBuilder::SortPublics() {
  QuickSort(map_.Publics, 0, map_.PublicCount - 1,
            [](const TMfPublic& a, const TMfPublic& b) { return a.Address < b.Address; });
}

std::string TableBuilder::WithoutUnitPrefix(const std::string& name, uint32_t address) const {
  const int32_t holder = FindSegment(SymbolKind::kCode, address);
  if (holder < 0) return name;
  const std::string& unit = map_.Segments[static_cast<size_t>(holder)].UnitName;
  if (unit.empty() || name.size() <= unit.size() || name[unit.size()] != '.' ||
      !EqualNoCase(std::string_view(name).substr(0, unit.size()), unit)) {
    return name;
  }
  return name.substr(unit.size() + 1);
}

void ClearTables(TMapFile& map) {
  map.Segments.clear();
  map.SegmentCount = 0;
  map.Publics.clear();
  map.PublicCount = 0;
  map.Lines.clear();
  map.LineCount = 0;
  map.EntryPoint = 0;
  map.Inlines.Clear();
}

void TableBuilder::Clear() {
  ClearTables(map_);
  ForgetCurrent();
}

bool TableBuilder::Empty() const {
  return map_.SegmentCount == 0 && map_.PublicCount == 0 && map_.LineCount == 0;
}

}  // namespace qor
