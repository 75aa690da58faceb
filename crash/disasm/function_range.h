// The address range a function's code may occupy: its module's code and
// data, so that jumps within the module are followed and others leave.
#pragma once

#include <cstdint>

#include "crash/modules/memory_reader.h"

namespace qor {

struct AddressRange {
  uint32_t first = 0;
  uint32_t last = 0;  // last byte
};

// The code range of the module that holds `entry` (the first code section,
// extended by a second one; else BaseOfCode and SizeOfCode), widened by its
// data range. Without readable NT headers: `region`, the memory region that
// holds the entry.
AddressRange ModuleRange(const MemoryReader& memory, uint32_t entry, const MemoryRegion& region);

}  // namespace qor
