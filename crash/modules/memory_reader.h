// The one way the crash-report library reads code, stack and image memory.
// Addresses are 32-bit target addresses, never host pointers, so the same
// code runs over the live process on Windows and over synthetic memory in
// host tests.
#pragma once

#include <cstdint>

namespace qor {

// Facts about the memory region that holds an address, in the terms of the
// system's virtual-memory query.
struct MemoryRegion {
  uint32_t base = 0;             // first address of the region
  uint32_t size = 0;             // bytes from base with the same state and protection
  uint32_t allocation_base = 0;  // base of the allocation (module base for images)
  uint32_t state = 0;            // MEM_COMMIT 0x1000, MEM_RESERVE 0x2000, MEM_FREE 0x10000
  uint32_t protect = 0;          // PAGE_* flags
  uint32_t type = 0;             // MEM_IMAGE 0x1000000, MEM_MAPPED 0x40000, MEM_PRIVATE 0x20000
};

class MemoryReader {
 public:
  virtual ~MemoryReader() = default;

  // Copies up to `size` bytes starting at `address` into `buffer` and returns
  // how many bytes were copied: the readable prefix, 0 when the first byte is
  // unreadable. Never faults.
  virtual uint32_t Read(uint32_t address, void* buffer, uint32_t size) const = 0;

  // Describes the region that holds `address`; false when nothing can be said.
  virtual bool QueryRegion(uint32_t address, MemoryRegion& region) const = 0;

  // True when all `size` bytes at `address` could be read.
  bool ReadAll(uint32_t address, void* buffer, uint32_t size) const {
    return Read(address, buffer, size) == size;
  }
};

}  // namespace qor
