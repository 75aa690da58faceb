#include "crash/debuginfo/map_file.h"

#include "crash/attach/case_compare.h"
#include "crash/debuginfo/halving_search.h"
#include "crash/debuginfo/table_order.h"

namespace qor {
namespace {

template <typename T>
void Append(std::vector<T>& table, int32_t& count, int32_t& capacity, const T& item) {
  if (count == capacity) {
    capacity = NextTableCapacity(capacity);
    table.reserve(static_cast<size_t>(capacity));
  }
  table.push_back(item);
  ++count;
}

bool InRangeInclusive(uint32_t address, const TMfSegment& segment) {
  return address >= segment.Start && uint64_t{address} <= uint64_t{segment.Start} + segment.Length;
}

}  // namespace

int32_t NextTableCapacity(int32_t capacity) {
  return capacity <= 7 ? 16 : capacity + capacity / 2;
}

void TMapFile::AddSegment(const TMfSegment& segment) {
  Append(Segments, SegmentCount, SegmentCapacity, segment);
}

void TMapFile::AddPublic(const TMfPublic& item) {
  Append(Publics, PublicCount, PublicCapacity, item);
}

void TMapFile::AddLine(int32_t line, uint32_t address) {
  Append(Lines, LineCount, LineCapacity, TMfLine{line, address});
}

void TMapFile::SortSegments() {
  QuickSort(Segments, 0, SegmentCount - 1, SegmentBefore);
}

void TMapFile::SortLines() {
  QuickSort(Lines, 0, LineCount - 1,
            [](const TMfLine& a, const TMfLine& b) { return a.Address < b.Address; });
}

int32_t TMapFile::FindSegment(SymbolKind kind, uint32_t address) const {
  if (!Valid) return -1;
  const uint8_t want_code = kind == SymbolKind::kCode ? 1 : 0;
  return HalvingSearch(SegmentCount, [&](int32_t i) {
    const TMfSegment& s = Segments[static_cast<size_t>(i)];
    // Every code segment lies left of every data segment.
    if (s.IsCode != want_code) return s.IsCode ? 1 : -1;
    if (address < s.Start) return -1;
    if (uint64_t{address} >= uint64_t{s.Start} + s.Length) return 1;
    return 0;
  });
}

TMfSegment TMapFile::SegmentAt(SymbolKind kind, uint32_t address) const {
  const int32_t i = FindSegment(kind, address);
  return i < 0 ? TMfSegment{} : Segments[static_cast<size_t>(i)];
}

TMfPublic TMapFile::PublicAt(uint32_t address) const {
  if (!Valid) return {};
  const int32_t i = HalvingSearch(PublicCount, [&](int32_t k) {
    if (address < Publics[static_cast<size_t>(k)].Address) return -1;
    if (k + 1 < PublicCount) return address < Publics[static_cast<size_t>(k) + 1].Address ? 0 : 1;
    return TopOfCode == 0 || address < TopOfCode ? 0 : 1;
  });
  return i < 0 ? TMfPublic{} : Publics[static_cast<size_t>(i)];
}

uint32_t TMapFile::PublicAddressByName(SymbolKind kind, const std::string& unit_name,
                                       bool case_sensitive, const std::string& name) const {
  if (!Valid) return 0;
  const uint8_t want_code = kind == SymbolKind::kCode ? 1 : 0;
  for (const TMfSegment& s : Segments) {
    if (s.IsCode != want_code || !EqualNoCase(s.UnitName, unit_name)) continue;
    for (const TMfPublic& p : Publics) {
      if (p.IsCode != want_code || !InRangeInclusive(p.Address, s)) continue;
      if (case_sensitive ? p.Name == name : EqualNoCase(p.Name, name)) return p.Address;
    }
  }
  if (unit_name.find('.') != std::string::npos) return 0;
  for (const char* extension : {".cpp", ".h", ".c"}) {
    const uint32_t found = PublicAddressByName(kind, unit_name + extension, case_sensitive, name);
    if (found != 0) return found;
  }
  return 0;
}

int32_t TMapFile::LineAt(uint32_t address, uint32_t* next_line_address) const {
  if (next_line_address) *next_line_address = address + 1;
  if (!Valid) return 0;
  const int32_t segment = FindSegment(SymbolKind::kCode, address);
  if (LineCount == 0) {
    return segment >= 0 && Segments[static_cast<size_t>(segment)].HasLines ? -1 : 0;
  }
  const int32_t i = HalvingSearch(LineCount, [&](int32_t k) {
    if (address < Lines[static_cast<size_t>(k)].Address) return -1;
    if (k + 1 < LineCount) return address < Lines[static_cast<size_t>(k) + 1].Address ? 0 : 1;
    return TopOfCode == 0 || address < TopOfCode ? 0 : 1;
  });
  if (i < 0 || segment < 0) return 0;
  const TMfLine& record = Lines[static_cast<size_t>(i)];
  if (!InRangeInclusive(record.Address, Segments[static_cast<size_t>(segment)])) return 0;
  if (next_line_address && i + 1 < LineCount) {
    *next_line_address = Lines[static_cast<size_t>(i) + 1].Address;
  }
  return record.Line;
}

}  // namespace qor
