// What every debug-information fuzz harness does after reading: the
// lookups over whatever tables the reader left.
#pragma once

#include <cstdint>

#include "crash/debuginfo/map_file.h"

inline void FuzzLookups(qor::TMapFile& map) {
  map.Valid = true;
  map.SortLines();
  for (uint32_t address : {0u, 0x401000u, 0x401234u, 0x4FFFFFu, 0x500010u, 0xFFFFFFFFu}) {
    map.SegmentAt(qor::SymbolKind::kCode, address);
    map.SegmentAt(qor::SymbolKind::kData, address);
    map.PublicAt(address);
    map.LineAt(address);
  }
}
