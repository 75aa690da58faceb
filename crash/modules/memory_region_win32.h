// The system's answer to a virtual-memory query in the reader's terms
// (Windows only).
#pragma once

#include <windows.h>

#include "crash/modules/memory_reader.h"

namespace qor {

inline MemoryRegion ToMemoryRegion(const MEMORY_BASIC_INFORMATION& info) {
  MemoryRegion region;
  region.base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress));
  region.size = static_cast<uint32_t>(info.RegionSize);
  region.allocation_base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.AllocationBase));
  region.state = info.State;
  region.protect = info.Protect;
  region.type = info.Type;
  return region;
}

}  // namespace qor
