#include "crash/core/except_address.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kCode = 0x401000;

// push ebp; mov ebp, esp; mov eax, [ebp+8]; call +0 (to 0x402000); pop ebp; ret
const std::vector<uint8_t> kFunction = {0x55, 0x89, 0xE5, 0x8B, 0x45, 0x08, 0xE8,
                                        0xF5, 0x0F, 0x00, 0x00, 0x5D, 0xC3};

class ExceptAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_.Map(kCode, kFunction);
    memory_.Map(0x402000, {0xC3});
    ASSERT_TRUE(ParseFunction(kCode, memory_, {}, function_));
  }
  MappedMemory memory_;
  TFunctionInfo function_;
};

TEST_F(ExceptAddressTest, KnowsWhereInstructionsStart) {
  EXPECT_TRUE(IsInstructionOf(function_, memory_, kCode));
  EXPECT_TRUE(IsInstructionOf(function_, memory_, kCode + 3));
  EXPECT_TRUE(IsInstructionOf(function_, memory_, kCode + 11));   // after the call
  EXPECT_TRUE(IsInstructionOf(function_, memory_, 0x402000));     // the call's target
  EXPECT_FALSE(IsInstructionOf(function_, memory_, kCode + 7));   // inside the call
  EXPECT_FALSE(IsInstructionOf(function_, memory_, kCode + 13));  // past the end
}

TEST_F(ExceptAddressTest, MovesAnAddressFourBytesShortOfAnInstruction) {
  EXPECT_EQ(CorrectedExceptAddress(function_, memory_, kCode + 7), kCode + 11);
  EXPECT_EQ(CorrectedExceptAddress(function_, memory_, kCode + 3), kCode + 3);
  // Neither it nor four bytes on is an instruction: left as it is.
  EXPECT_EQ(CorrectedExceptAddress(function_, memory_, kCode + 9), kCode + 9);
  TFunctionInfo invalid;
  EXPECT_EQ(CorrectedExceptAddress(invalid, memory_, kCode + 7), kCode + 7);
}

}  // namespace
}  // namespace qor
