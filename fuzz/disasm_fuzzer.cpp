// Random bytes at a random address, through a reader that knows only those
// bytes: the decoder and the text composer must never read outside them,
// never fault, and never put the next instruction before this one.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/disasm/disasm_text.h"
#include "crash/modules/memory_reader.h"

namespace {

// Hands out copies of exactly the fuzzer's bytes; every other address is
// unreadable.
class OnlyTheseBytes : public qor::MemoryReader {
 public:
  OnlyTheseBytes(uint32_t base, const uint8_t* data, size_t size)
      : base_(base), bytes_(data, data + size) {}

  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override {
    const uint64_t offset = uint64_t{address} - base_;
    if (address < base_ || offset >= bytes_.size()) return 0;
    const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(size, bytes_.size() - offset));
    std::memcpy(buffer, bytes_.data() + offset, take);
    return take;
  }
  bool QueryRegion(uint32_t, qor::MemoryRegion&) const override { return false; }

 private:
  uint32_t base_;
  std::vector<uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t base;
  std::memcpy(&base, data, 4);
  data += 4;
  size -= 4;
  // Keep the block inside the 32-bit address space.
  if (uint64_t{base} + size > 0x100000000ull) base = static_cast<uint32_t>(0x100000000ull - size);
  const OnlyTheseBytes memory(base, data, size);
  qor::RegisterSlots slots{};
  uint32_t address = base;
  for (size_t i = 0; i < size && i < 64; ++i) {
    qor::CodeInfo info;
    qor::InstructionText(memory, address, &slots, info);
    if (info.next < info.this_address || info.this_address != address) std::abort();
    if (info.is_valid && info.next == address) std::abort();
    address = info.is_valid ? info.next : address + 1;
    if (address < base || uint64_t{address} >= uint64_t{base} + size) break;
  }
  return 0;
}
