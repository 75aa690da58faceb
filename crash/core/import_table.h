// The import address tables of a loaded module: which of their entries
// hold a given routine's address, so that an import hook can replace them.
#pragma once

#include <cstdint>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

enum class ImportScan {
  kNoTable,   // no readable headers or no import directory
  kInvalid,   // a descriptor's address table lies beyond the import directory
  kScanned,   // the tables were read (possibly with no matching entry)
};

// Descriptors and entries FindImportSlots reads at most: a stop for tables
// without their terminating zero.
inline constexpr uint32_t kMaxImportDescriptors = 4096;
inline constexpr uint32_t kMaxImportEntries = 65536;

// Collects in `slots` the addresses of the import address table entries of
// the module at `base` that hold `value`. Descriptors are read up to the
// first whose name field is 0 and each table up to its first zero entry;
// unreadable memory ends either walk. When any descriptor's table starts at
// or beyond the end of the import directory, the tables are taken as
// invalid and `slots` stays empty.
ImportScan FindImportSlots(const MemoryReader& memory, uint32_t base, uint32_t value,
                           std::vector<uint32_t>& slots);

}  // namespace qor
