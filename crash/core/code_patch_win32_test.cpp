#include "crash/core/code_patch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "crash/core/find_call.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
template <typename F>
uint32_t CodeAddress(F* function) {
  return Address(reinterpret_cast<const void*>(function));
}

// Routines to patch: kept out of line and opaque to the optimiser, so that
// every call really goes to their code.
__attribute__((noipa)) int Original() { return 1; }
__attribute__((noipa)) int Replacement() { return 42; }
__attribute__((noipa)) int OtherReplacement() { return 77; }
__attribute__((noipa)) int Caller() { return Original() + 1000; }

// A call the optimiser cannot follow to a known routine.
int CallThrough(int (*routine)()) {
  int (*volatile opaque)() = routine;
  return opaque();
}

// Writes bytes over code the way another component would, unrecorded.
void ForeignWrite(uint32_t address, const void* bytes, size_t length) {
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(reinterpret_cast<void*>(uintptr_t{address}), length,
                             PAGE_EXECUTE_READWRITE, &old));
  std::memcpy(reinterpret_cast<void*>(uintptr_t{address}), bytes, length);
  VirtualProtect(reinterpret_cast<void*>(uintptr_t{address}), length, old, &old);
  FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(uintptr_t{address}), length);
}

class CodePatch : public testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(original_, reinterpret_cast<const void*>(&Original), sizeof original_);
  }
  void TearDown() override {
    RestorePatches();
    EXPECT_EQ(PatchCount(), 0u);
    // Whatever a test left there, the routine is whole again.
    ForeignWrite(CodeAddress(&Original), original_, sizeof original_);
  }
  uint8_t original_[5];
};

TEST_F(CodePatch, AnEntryJumpRunsTheReplacementUntilRestored) {
  ASSERT_TRUE(PatchEntryJump(CodeAddress(&Original), CodeAddress(&Replacement)));
  EXPECT_EQ(PatchCount(), 1u);
  EXPECT_EQ(CallThrough(&Original), 42);
  EXPECT_EQ(Caller(), 1042);
  RestorePatches();
  EXPECT_EQ(PatchCount(), 0u);
  EXPECT_EQ(CallThrough(&Original), 1);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(&Original), original_, 5), 0);
}

TEST_F(CodePatch, BytesAnotherPatcherWroteLaterSurviveTheRestore) {
  ASSERT_TRUE(PatchEntryJump(CodeAddress(&Original), CodeAddress(&Replacement)));
  uint8_t jump[5] = {0xE9};
  const uint32_t distance = CodeAddress(&OtherReplacement) - (CodeAddress(&Original) + 5);
  std::memcpy(jump + 1, &distance, 4);
  ForeignWrite(CodeAddress(&Original), jump, sizeof jump);
  RestorePatches();
  EXPECT_EQ(CallThrough(&Original), 77);
}

TEST_F(CodePatch, TwoPatchesOverTheSameBytesRestoreTheOriginal) {
  ASSERT_TRUE(PatchEntryJump(CodeAddress(&Original), CodeAddress(&Replacement)));
  ASSERT_TRUE(PatchEntryJump(CodeAddress(&Original), CodeAddress(&OtherReplacement)));
  EXPECT_EQ(CallThrough(&Original), 77);
  RestorePatches();
  EXPECT_EQ(CallThrough(&Original), 1);
}

TEST_F(CodePatch, SameBytesAndUnreadableAddressesAreNotRecorded) {
  EXPECT_FALSE(RecordPatch(CodeAddress(&Original), original_, sizeof original_));
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(page, nullptr);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_FALSE(RecordPatch(Address(page), bytes, sizeof bytes));
  EXPECT_FALSE(RecordPatch(CodeAddress(&Original), page, 4)) << "unreadable new bytes";
  EXPECT_FALSE(PatchEntryJump(Address(page), CodeAddress(&Replacement)));
  EXPECT_FALSE(RecordPatch(CodeAddress(&Original), bytes, 0));
  EXPECT_EQ(PatchCount(), 0u);
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(CodePatch, AnIndirectJumpThunkIsPatchedAtItsTarget) {
  auto* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(page, nullptr);
  uint8_t* thunk = page;
  uint8_t* cell = page + 16;
  uint8_t* target = page + 32;
  const uint8_t target_code[] = {0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 7; ret
  std::memcpy(target, target_code, sizeof target_code);
  const uint32_t target_address = Address(target), cell_address = Address(cell);
  std::memcpy(cell, &target_address, 4);
  thunk[0] = 0xFF;
  thunk[1] = 0x25;
  std::memcpy(thunk + 2, &cell_address, 4);
  const auto routine = reinterpret_cast<int (*)()>(thunk);
  EXPECT_EQ(CallThrough(routine), 7);

  ASSERT_TRUE(PatchEntryJump(Address(thunk), CodeAddress(&Replacement)));
  EXPECT_EQ(thunk[0], 0xFF) << "the thunk itself stays";
  EXPECT_EQ(target[0], 0xE9);
  EXPECT_EQ(CallThrough(routine), 42);
  RestorePatches();
  EXPECT_EQ(CallThrough(routine), 7);
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(CodePatch, ACallFoundInsideARoutineIsRedirected) {
  const LiveMemory memory;
  const uint32_t call = FindCall(memory, CodeAddress(&Caller), CodeAddress(&Original));
  ASSERT_NE(call, 0u);
  EXPECT_EQ(FindCall(memory, CodeAddress(&Caller), CodeAddress(&Original), 2), 0u);
  ASSERT_TRUE(PatchCallTarget(call + 1, CallDisplacement(call, CodeAddress(&Replacement))));
  EXPECT_EQ(Caller(), 1042);
  EXPECT_EQ(CallThrough(&Original), 1) << "only that call changed";
  RestorePatches();
  EXPECT_EQ(Caller(), 1001);
}

}  // namespace
}  // namespace qor
