#include "crash/modules/read_probe.h"

#include <algorithm>

namespace qor {
namespace {

constexpr uint32_t kMemCommit = 0x1000;
constexpr uint64_t kUserSpaceEnd = 0x80000000;

}  // namespace

bool IsReadableRegion(const MemoryRegion& region) {
  if (region.state != kMemCommit) return false;
  switch (region.protect) {
    case 0x02:  // read-only
    case 0x04:  // read/write
    case 0x08:  // write-copy: a module's data pages until first written
    case 0x10:  // execute
    case 0x20:  // execute/read
    case 0x40:  // execute/read/write
    case 0x80:  // execute/write-copy
      return true;
    default:
      return false;
  }
}

TDATryRead StartReadProbe(const MemoryReader& memory) {
  TDATryRead snapshot;
  snapshot.reserve(64);
  uint64_t address = 0;
  MemoryRegion region;
  while (address < kUserSpaceEnd && memory.QueryRegion(static_cast<uint32_t>(address), region)) {
    uint64_t end = uint64_t{region.base} + region.size;
    // A region that does not reach past the address would repeat forever.
    if (end <= address) break;
    bool readable = IsReadableRegion(region);
    if (snapshot.empty() || snapshot.back().readable != readable) {
      snapshot.push_back(TryReadEntry{region.base, region.base, readable});
    }
    snapshot.back().end = static_cast<uint32_t>(std::min<uint64_t>(end, 0xffffffff));
    address = end;
  }
  snapshot.shrink_to_fit();
  return snapshot;
}

const TryReadEntry* FindTryRead(const TDATryRead& snapshot, uint32_t address) {
  auto it = std::upper_bound(snapshot.begin(), snapshot.end(), address,
                             [](uint32_t a, const TryReadEntry& e) { return a < e.end; });
  if (it == snapshot.end() || address < it->begin) return nullptr;
  return &*it;
}

bool SnapshotAllowsRead(const TDATryRead& snapshot, uint32_t address) {
  const TryReadEntry* entry = FindTryRead(snapshot, address);
  return entry != nullptr && entry->readable;
}

}  // namespace qor
