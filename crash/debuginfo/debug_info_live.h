// The debug-information helpers over the running process (Windows).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crash/debuginfo/debug_info_cache.h"

namespace qor {

// The debug information of the module of this process that holds
// `address`; 0 means the program's own module. Never null (see
// DebugInfoForAddress).
std::shared_ptr<const TMapFile> LiveDebugInfo(uint32_t address);

// Module, unit, line and public of `address` in this process; false for
// address 0 or a module without debug information.
bool LiveAddressInfo(uint32_t address, AddressInfo& info);

// "Unit.Function" for an address where a public of this process starts.
std::string LiveProcedureName(uint32_t address);

// LineAtCached over the module of this process that holds `address`.
void LiveLineAt(uint32_t address, int32_t& line, uint32_t& range_start, uint32_t& range_end);

}  // namespace qor
