// Reading memory of the current process that may not be readable, without
// ever faulting (Windows only).
#pragma once

#include <cstdint>

#include "crash/modules/memory_reader.h"
#include "crash/modules/read_probe.h"

namespace qor {

// Copies `count` bytes from `source` to `destination`. False, with the
// destination's contents unspecified, when the source is null, when the
// snapshot (if given) says its first byte is not readable, when (without a
// snapshot) any page of the range is not plainly readable, or when the copy
// does not deliver every byte. Guard pages are never touched, so a thread's
// stack guard stays armed.
bool SafeRead(uint32_t source, void* destination, uint32_t count,
              const TDATryRead* snapshot = nullptr);

// A snapshot of the current process's address space.
TDATryRead StartReadProbe();

// The current process as a MemoryReader: reads go through SafeRead (with
// the snapshot when one is given), regions through the system's query.
class LiveMemory : public MemoryReader {
 public:
  // Does not take ownership of `snapshot`, which must outlive the reader.
  explicit LiveMemory(const TDATryRead* snapshot = nullptr) : snapshot_(snapshot) {}

  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override;
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override;

 private:
  const TDATryRead* snapshot_;
};

}  // namespace qor
