#include "crash/stack/cached_memory.h"

#include <algorithm>
#include <cstring>

namespace qor {

const CachedMemory::Block* CachedMemory::Find(uint32_t address) const {
  for (const Block& b : blocks_) {
    if (address >= b.start && address - b.start < b.valid) return &b;
  }
  Block fresh;
  fresh.bytes.resize(kBlockSize);
  // Never ask for bytes past the top of the address space.
  uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(kBlockSize, 0x100000000ull - address));
  fresh.start = address;
  fresh.valid = source_.Read(address, fresh.bytes.data(), size);
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
