// A MemoryReader over byte blocks placed at chosen addresses: the synthetic
// memory of host tests (code, stacks and PE images built in a test).
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

class MappedMemory : public MemoryReader {
 public:
  // Places `bytes` at `address`; blocks must not overlap. `protect` and
  // `type` are what QueryRegion reports for the block.
  void Map(uint32_t address, std::vector<uint8_t> bytes, uint32_t protect = 0x20 /*EXECUTE_READ*/,
           uint32_t type = 0x1000000 /*MEM_IMAGE*/, uint32_t allocation_base = 0) {
    blocks_[address] = Block{std::move(bytes), protect, type,
                             allocation_base ? allocation_base : address};
  }

  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override {
    uint32_t done = 0;
    while (done < size) {
      const Block* block = nullptr;
      uint32_t base = 0;
      if (!Find(address + done, block, base)) break;
      uint64_t offset = uint64_t{address} + done - base;
      uint32_t take = static_cast<uint32_t>(
          std::min<uint64_t>(size - done, block->bytes.size() - offset));
      std::memcpy(static_cast<uint8_t*>(buffer) + done, block->bytes.data() + offset, take);
      done += take;
    }
    return done;
  }

  bool QueryRegion(uint32_t address, MemoryRegion& region) const override {
    const Block* block = nullptr;
    uint32_t base = 0;
    if (!Find(address, block, base)) return false;
    region = MemoryRegion{base, static_cast<uint32_t>(block->bytes.size()),
                          block->allocation_base, 0x1000, block->protect, block->type};
    return true;
  }

 private:
  struct Block {
    std::vector<uint8_t> bytes;
    uint32_t protect;
    uint32_t type;
    uint32_t allocation_base;
  };

  bool Find(uint32_t address, const Block*& block, uint32_t& base) const {
    auto it = blocks_.upper_bound(address);
    if (it == blocks_.begin()) return false;
    --it;
    if (uint64_t{address} >= uint64_t{it->first} + it->second.bytes.size()) return false;
    block = &it->second;
    base = it->first;
    return true;
  }

  std::map<uint32_t, Block> blocks_;
};

}  // namespace qor
