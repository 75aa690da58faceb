// A snapshot of which parts of the user address space are readable, taken
// once and then consulted before every read, so that a long series of reads
// (a whole stack walk) costs one walk of the address space.
#pragma once

#include <cstdint>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

struct TryReadEntry {
  uint32_t begin = 0;
  uint32_t end = 0;  // exclusive
  bool readable = false;
};

// Ascending, neighbouring regions of the same readability merged.
using TDATryRead = std::vector<TryReadEntry>;

// True for committed memory whose protection is exactly one of read-only,
// read/write, write-copy, execute, execute/read, execute/read/write or
// execute/write-copy; guard pages and no-access pages do not count. The
// data sections of a loaded module stay write-copy until written, and the
// pointers in them are what indirect calls go through.
bool IsReadableRegion(const MemoryRegion& region);

// Walks the regions that `memory` reports from address 0 up to 2 GB and
// merges them into a snapshot. Stops early when a query fails.
TDATryRead StartReadProbe(const MemoryReader& memory);

// The entry that holds `address`, or nullptr when the snapshot does not
// cover it.
const TryReadEntry* FindTryRead(const TDATryRead& snapshot, uint32_t address);

// True when the snapshot says the byte at `address` is readable.
bool SnapshotAllowsRead(const TDATryRead& snapshot, uint32_t address);

}  // namespace qor
