#include "crash/core/find_call.h"

#include <gtest/gtest.h>

#include <vector>

#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kCode = 0x401000;
constexpr uint32_t kTarget = 0x402000;
constexpr uint32_t kOther = 0x403000;

class Code {
 public:
  // call rel32 to `target`; returns the call's address.
  uint32_t Call(uint32_t target) {
    const uint32_t at = Here();
    const uint32_t displacement = CallDisplacement(at, target);
    Bytes({0xE8, uint8_t(displacement), uint8_t(displacement >> 8), uint8_t(displacement >> 16),
           uint8_t(displacement >> 24)});
    return at;
  }
  void Bytes(std::initializer_list<uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes); }
  uint32_t Here() const { return kCode + static_cast<uint32_t>(bytes_.size()); }
  MappedMemory Memory() const {
    MappedMemory memory;
    memory.Map(kCode, bytes_);
    return memory;
  }

 private:
  std::vector<uint8_t> bytes_;
};

TEST(FindCall, FirstAndNthCallOfATarget) {
  Code code;
  code.Bytes({0x55, 0x89, 0xE5});  // push ebp; mov ebp, esp
  const uint32_t other = code.Call(kOther);
  const uint32_t first = code.Call(kTarget);
  code.Bytes({0x83, 0xC4, 0x04});  // add esp, 4
  const uint32_t second = code.Call(kTarget);
  code.Bytes({0x5D, 0xC3});  // pop ebp; ret
  const MappedMemory memory = code.Memory();
  EXPECT_EQ(FindCall(memory, kCode, kTarget), first);
  EXPECT_EQ(FindCall(memory, kCode, kTarget, 2), second);
  EXPECT_EQ(FindCall(memory, kCode, kTarget, 3), 0u);
  // Without a target: the n-th relative call of any target.
  EXPECT_EQ(FindCall(memory, kCode, 0, 1), other);
  EXPECT_EQ(FindCall(memory, kCode, 0, 2), first);
  EXPECT_EQ(FindCall(memory, kCode, kTarget, 0), 0u);
}

TEST(FindCall, StopsAtTheFirstReturn) {
  Code code;
  code.Bytes({0xC2, 0x08, 0x00});  // ret 8
  code.Call(kTarget);
  Code prefixed;
  prefixed.Bytes({0xF3, 0xC3});  // rep ret
  prefixed.Call(kTarget);
  EXPECT_EQ(FindCall(code.Memory(), kCode, kTarget), 0u);
  EXPECT_EQ(FindCall(prefixed.Memory(), kCode, kTarget), 0u);
}

TEST(FindCall, NeverReachesIntoTheNextRoutine) {
  // A routine that ends in a jump, directly followed by another routine
  // that calls the target.
  Code code;
  code.Bytes({0x31, 0xC0, 0xEB, 0xFC});  // xor eax, eax; jmp back
  const uint32_t next_routine = code.Here();
  const uint32_t call = code.Call(kTarget);
  const MappedMemory memory = code.Memory();
  EXPECT_EQ(FindCall(memory, kCode, kTarget, 1, next_routine), 0u) << "the extent is known";
  EXPECT_EQ(FindCall(memory, kCode, kTarget), call) << "linear decoding alone runs on";

  // Without a known extent the search gives up after its bound.
  Code endless;
  for (uint32_t i = 0; i < kFindCallMaxInstructions; ++i) endless.Bytes({0x90});
  endless.Call(kTarget);
  EXPECT_EQ(FindCall(endless.Memory(), kCode, kTarget), 0u);
}

TEST(FindCall, ThirtyTwoBitRelativeCallsOnly) {
  Code code;
  code.Bytes({0x66, 0xE8, 0x00, 0x00});  // call rel16
  code.Bytes({0xFF, 0xD0});              // call eax
  const uint32_t call = code.Call(kTarget);
  code.Bytes({0xFF});  // cut short: undecodable
  code.Call(kTarget);
  const MappedMemory memory = code.Memory();
  EXPECT_EQ(FindCall(memory, kCode, 0), call);
  EXPECT_EQ(FindCall(memory, kCode, kTarget, 2), 0u) << "decoding ends at the bad bytes";
  EXPECT_EQ(FindCall(MappedMemory(), kCode, 0), 0u) << "unreadable code";
}

}  // namespace
}  // namespace qor
