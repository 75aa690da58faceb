#include "crash/stack/stack_code.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

struct CallCase {
  const char* what;
  std::vector<uint8_t> bytes;  // the instruction that ends at the candidate
  bool follows_call;
};

TEST(StackCodeTest, FollowsCallInstructionKnowsEveryCallLength) {
  const CallCase cases[] = {
      {"call rel32", {0xE8, 0, 0, 0, 0}, true},
      {"call eax", {0xFF, 0xD0}, true},
      {"call [ebp+8]", {0xFF, 0x55, 0x08}, true},
      {"call [esp+4]", {0xFF, 0x54, 0x24, 0x04}, true},
      {"call [abs]", {0xFF, 0x15, 0x00, 0x20, 0x40, 0x00}, true},
      {"call far [abs]", {0xFF, 0x1D, 0x00, 0x20, 0x40, 0x00}, true},
      {"call [esp+disp32]", {0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}, true},
      {"call far ptr", {0x9A, 0, 0, 0, 0, 0x08, 0x00}, true},
      {"jmp eax", {0xFF, 0xE0}, false},
      {"jmp [abs]", {0xFF, 0x25, 0x00, 0x20, 0x40, 0x00}, false},
      {"push [ebp+8]", {0xFF, 0x75, 0x08}, false},
      {"nop", {0x90}, false},
  };
  constexpr uint32_t kAfter = 0x1010;
  for (const CallCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes(16 - c.bytes.size(), 0x90);
    bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
    MappedMemory memory;
    memory.Map(kAfter - 16, bytes);
    EXPECT_EQ(FollowsCallInstruction(memory, kAfter), c.follows_call);
  }
}

TEST(StackCodeTest, FollowsCallInstructionNeedsEightReadableBytes) {
  MappedMemory memory;
  memory.Map(0x1000, {0x90, 0x90, 0x90, 0xE8, 0, 0, 0, 0});
  EXPECT_TRUE(FollowsCallInstruction(memory, 0x1008));
  EXPECT_FALSE(FollowsCallInstruction(memory, 0x1007));  // a byte before the block
  EXPECT_FALSE(FollowsCallInstruction(memory, 4));
}

}  // namespace
}  // namespace qor
