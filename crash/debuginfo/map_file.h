// The debug information of one module: unit address ranges (segments),
// named symbols (publics) and line-number records, each table sorted, and
// the lookups from a code address to unit, function and source line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crash/debuginfo/inline_table.h"
#include "crash/modules/memory_reader.h"

namespace qor {

enum class SymbolKind : uint8_t { kData = 0, kCode = 1 };

struct TMfSegment {
  uint8_t Valid = 0;     // 1 for a real entry
  uint8_t IsCode = 0;    // 1 = code, 0 = data
  uint32_t Start = 0;
  uint32_t Length = 0;
  std::string UnitName;
  uint8_t HasLines = 0;  // set only by the compact format's minimal mode
};

struct TMfPublic {
  uint8_t Valid = 0;
  uint8_t IsCode = 0;
  std::string Name;
  uint32_t Address = 0;
};

struct TMfLine {
  int32_t Line = 0;
  uint32_t Address = 0;
};

// Capacity a table grows to when it is full: 16 from 7 or less, otherwise
// half as much again.
int32_t NextTableCapacity(int32_t capacity);

class TMapFile {
 public:
  TMapFile() = default;
  TMapFile(const TMapFile&) = delete;
  TMapFile& operator=(const TMapFile&) = delete;

  // Loads the module mapped at `handle` in `memory` (0: a bare file), named
  // `file_name`, from the first source that has debug information: its own
  // compact resource, the tool chain's linked debug data, then the companion
  // files beside it. False (Valid stays false) when no source had any.
  bool Load(const MemoryReader& memory, uint32_t handle, const std::string& file_name,
            bool code_only);

  // The table builders the readers use; each keeps the growth rule.
  void AddSegment(const TMfSegment& segment);
  void AddPublic(const TMfPublic& item);
  void AddLine(int32_t line, uint32_t address);

  // Restores the invariants after a reader appended out of order: segments
  // by kind (code first), start ascending, length descending; lines by
  // address (unsigned).
  void SortSegments();
  void SortLines();

  // The segment of `kind` holding `address`; Valid = 0 when there is none.
  TMfSegment SegmentAt(SymbolKind kind, uint32_t address) const;
  // The public whose range holds `address`: from its Address up to the next
  // public's, the last one up to TopOfCode when that is set. Valid = 0 when
  // there is none.
  TMfPublic PublicAt(uint32_t address) const;
  // Address of the first public of `kind` named `name` inside a segment of
  // that kind whose unit is `unit_name` (unit names ignore case; a unit name
  // without "." is retried with ".cpp", ".h" and ".c"). 0 when none.
  uint32_t PublicAddressByName(SymbolKind kind, const std::string& unit_name,
                               bool case_sensitive, const std::string& name) const;
  // Line number of the record covering `address` when that record lies in
  // the code segment holding the address, else 0; -1 when there are no line
  // records and that segment has HasLines. `next_line_address`, when given,
  // receives the next record's address (address + 1 when there is none).
  int32_t LineAt(uint32_t address, uint32_t* next_line_address = nullptr) const;

  bool Valid = false;
  std::vector<TMfSegment> Segments;
  int32_t SegmentCount = 0;
  int32_t SegmentCapacity = 0;
  std::vector<TMfPublic> Publics;
  int32_t PublicCount = 0;
  int32_t PublicCapacity = 0;
  std::vector<TMfLine> Lines;
  int32_t LineCount = 0;
  int32_t LineCapacity = 0;
  bool CodeOnly = false;
  uint32_t Handle = 0;
  uint32_t BaseOfData = 0;
  uint32_t TopOfData = 0;
  uint32_t BaseOfCode = 0;
  uint32_t TopOfCode = 0;
  std::string MapFileName;
  std::string ModuleFileName;
  std::string MinDebugInfo;
  uint32_t EntryPoint = 0;
  // The inlined functions at each address, when the source records them.
  InlineTable Inlines;

 private:
  bool LoadCompanionFiles();
  void SetRangesFromHeaders(const MemoryReader& memory, uint32_t nt_headers);
  int32_t FindSegment(SymbolKind kind, uint32_t address) const;
};

}  // namespace qor
