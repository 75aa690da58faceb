#include "crash/modules/cached_memory.h"

#include <algorithm>
#include <cstring>

namespace qor {

const CachedMemory::Block* CachedMemory::Find(uint32_t address) const {
  for (const Block& b : blocks_) {
    if (address >= b.start && address - b.start < b.valid) return &b;
  }
  Block fresh;
  fresh.bytes.resize(kBlockSize);
  // Whole pages, so that reads just before an earlier one hit as well. A
  // reader whose readable bytes do not start at a page boundary gets the
  // block from the address itself.
  fresh.start = address & ~(kBlockSize - 1);
  fresh.valid = source_.Read(fresh.start, fresh.bytes.data(), kBlockSize);
  if (address - fresh.start >= fresh.valid) {
    // Never ask for bytes past the top of the address space.
    const uint32_t size =
        static_cast<uint32_t>(std::min<uint64_t>(kBlockSize, 0x100000000ull - address));
    fresh.start = address;
    fresh.valid = source_.Read(address, fresh.bytes.data(), size);
  }
  if (fresh.valid == 0) return nullptr;
  if (blocks_.size() < kMaxBlocks) {
    blocks_.push_back(std::move(fresh));
    return &blocks_.back();
  }
  Block& victim = blocks_[next_victim_];
  next_victim_ = (next_victim_ + 1) % kMaxBlocks;
  victim = std::move(fresh);
  return &victim;
}

bool CachedMemory::QueryRegion(uint32_t address, MemoryRegion& region) const {
  for (const MemoryRegion& r : regions_) {
    if (address >= r.base && address - r.base < r.size) {
      region = r;
      return true;
    }
  }
  if (!source_.QueryRegion(address, region)) return false;
  if (regions_.size() == kMaxRegions) regions_.erase(regions_.begin());
  regions_.push_back(region);
  return true;
}

uint32_t CachedMemory::Read(uint32_t address, void* buffer, uint32_t size) const {
  uint32_t done = 0;
  while (done < size) {
    const uint32_t at = address + done;
    if (at < address) break;  // wrapped past the top
    const Block* block = Find(at);
    if (block == nullptr) break;
    uint32_t take = std::min(size - done, block->valid - (at - block->start));
    std::memcpy(static_cast<uint8_t*>(buffer) + done, block->bytes.data() + (at - block->start),
                take);
    done += take;
  }
  return done;
}

}  // namespace qor
