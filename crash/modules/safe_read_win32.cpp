#include "crash/modules/safe_read.h"

#include <windows.h>

#include <algorithm>

#include "crash/modules/memory_region_win32.h"

namespace qor {
namespace {

constexpr uint32_t kPage = 0x1000;

const void* Pointer(uint32_t address) { return reinterpret_cast<const void*>(uintptr_t{address}); }

// Every region that the range touches must be plainly readable; asking the
// system first keeps the copy away from guard and no-access pages.
bool RangeIsReadable(uint32_t source, uint32_t count) {
  const LiveMemory memory;
  uint64_t address = source;
  const uint64_t end = uint64_t{source} + count;
  MemoryRegion region;
  while (address < end) {
    if (!memory.QueryRegion(static_cast<uint32_t>(address), region) ||
        !IsReadableRegion(region)) {
      return false;
    }
    address = uint64_t{region.base} + region.size;
  }
  return true;
}

}  // namespace

bool SafeRead(uint32_t source, void* destination, uint32_t count, const TDATryRead* snapshot) {
  if (source == 0) return false;
  if (count == 0) return true;
  bool allowed = snapshot ? SnapshotAllowsRead(*snapshot, source) : RangeIsReadable(source, count);
  if (!allowed) return false;
  // The system's copy reports a fault as a failure instead of raising it.
  SIZE_T copied = 0;
  return ReadProcessMemory(GetCurrentProcess(), Pointer(source), destination, count, &copied) &&
         copied == count;
}

TDATryRead StartReadProbe() { return StartReadProbe(LiveMemory()); }

uint32_t LiveMemory::Read(uint32_t address, void* buffer, uint32_t size) const {
  if (SafeRead(address, buffer, size, snapshot_)) return size;
  // Find the readable prefix page by page.
  uint32_t done = 0;
  while (done < size) {
    uint32_t at = address + done;
    uint32_t chunk = std::min(size - done, kPage - at % kPage);
    if (!SafeRead(at, static_cast<uint8_t*>(buffer) + done, chunk, snapshot_)) break;
    done += chunk;
  }
  return done;
}

bool LiveMemory::QueryRegion(uint32_t address, MemoryRegion& region) const {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(Pointer(address), &info, sizeof info) != sizeof info) return false;
  region = ToMemoryRegion(info);
  return true;
}

}  // namespace qor
