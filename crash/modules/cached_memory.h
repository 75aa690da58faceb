// A MemoryReader that keeps the last pages it read from another reader, and
// the last regions it described. Walking an export table reads hundreds of
// short names that sit close together, a stack trace tests every dword of
// a stack; through the live reader each read and query is a system call,
// through this cache a few cover them all. Use it only for the span of one
// lookup or trace: it does not notice memory that changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

class CachedMemory : public MemoryReader {
 public:
  // Does not take ownership of `source`, which must outlive the cache.
  explicit CachedMemory(const MemoryReader& source) : source_(source) {}
  CachedMemory(const CachedMemory&) = delete;
  CachedMemory& operator=(const CachedMemory&) = delete;

  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override;
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override;

 private:
  static constexpr uint32_t kBlockSize = 4096;  // a page
  static constexpr size_t kMaxBlocks = 64;
  static constexpr size_t kMaxRegions = 64;

  struct Block {
    uint32_t start = 0;
    uint32_t valid = 0;  // readable bytes from start
    std::vector<uint8_t> bytes;
  };

  // The block that holds `address`, read on a miss; nullptr when the byte
  // at `address` is not readable.
  const Block* Find(uint32_t address) const;

  const MemoryReader& source_;
  mutable std::vector<Block> blocks_;
  mutable std::vector<MemoryRegion> regions_;
  mutable size_t next_victim_ = 0;
};

}  // namespace qor
