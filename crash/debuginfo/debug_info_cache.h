// The process-wide store of loaded debug information, one TMapFile per
// module file, and the helpers the stack walker, the decoder and the report
// use to turn an address into unit, function and line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crash/debuginfo/map_file.h"
#include "crash/modules/memory_reader.h"

namespace qor {

// Fills `name` with the file name of the module loaded at `base`; false
// when it cannot be obtained.
using ModuleFileNameFn = bool (*)(uint32_t base, std::string& name);

// The debug information of the module that holds `address`. A module whose
// file is unchanged since it was loaded (same DOS date and time stamp) is
// served from the cache; a changed one is loaded again. Never null: an
// address outside any module, a module without debug information, or a
// failure while loading gives an invalid object of its own. The result is
// shared, so dropping a changed module from the cache never pulls it away
// from a caller still holding it.
std::shared_ptr<const TMapFile> DebugInfoForAddress(const MemoryReader& memory, uint32_t address,
                                                    ModuleFileNameFn module_file_name);

// Drops every cached object (at shut-down, and between tests).
void ClearDebugInfoCache();

// What one address resolves to.
struct AddressInfo {
  std::string module_file_name;
  std::string unit_name;
  int32_t line = 0;  // 0 when unknown
  uint32_t public_address = 0;
  std::string public_name;
};

// False for address 0 or an invalid `map`.
bool GetAddressInfo(const TMapFile& map, uint32_t address, AddressInfo& info);

// "Unit.Function" when a public starts exactly at `address`, else empty.
// Placeholder names of minimal debug information get the module's file
// name in parentheses, since they mean nothing without it.
std::string ProcedureNameAt(const TMapFile& map, uint32_t address);

// The line of `address`, skipping the lookup while `line` is set and the
// address stays inside [range_start, range_end) from the previous call.
void LineAtCached(const TMapFile& map, uint32_t address, int32_t& line, uint32_t& range_start,
                  uint32_t& range_end);

}  // namespace qor
