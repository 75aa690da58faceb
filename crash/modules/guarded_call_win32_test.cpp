#include "crash/modules/guarded_call.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace qor {
namespace {

int* volatile unmapped = reinterpret_cast<int*>(16);
volatile int zero = 0;
volatile int sink = 0;

void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

__attribute__((noinline)) void WriteUnmapped(void*) { *unmapped = 1; }

__attribute__((noinline)) int FaultDeep(int depth) {
  char pad[64];
  pad[depth % 64] = static_cast<char>(depth);
  if (depth == 0) {
    *unmapped = pad[0];
    return pad[0];
  }
  return FaultDeep(depth - 1) + pad[(depth + 1) % 64];
}

TEST(GuardedCall, ReturnsTrueWhenTheBodyReturns) {
  void* before = ChainHead();
  int calls = 0;
  EXPECT_TRUE(Guarded([&] { ++calls; }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ChainHead(), before);
}

TEST(GuardedCall, ProcessorFaultsGiveFalseAndSayWhat) {
  void* before = ChainHead();
  const struct {
    const char* what;
    void (*body)(void*);
    uint32_t code;
  } cases[] = {
      {"write to an unmapped address", WriteUnmapped, EXCEPTION_ACCESS_VIOLATION},
      {"division by zero", [](void*) { sink = 7 / zero; }, EXCEPTION_INT_DIVIDE_BY_ZERO},
      {"illegal instruction", [](void*) { asm volatile("ud2"); }, EXCEPTION_ILLEGAL_INSTRUCTION},
      {"fault twenty frames down", [](void*) { sink = FaultDeep(20); },
       EXCEPTION_ACCESS_VIOLATION},
  };
  for (const auto& c : cases) {
    GuardedFault fault{0xDEADBEEF, 0xDEADBEEF};
    EXPECT_FALSE(GuardedCall(c.body, nullptr, &fault)) << c.what;
    EXPECT_EQ(fault.code, c.code) << c.what;
    EXPECT_NE(fault.address, 0xDEADBEEFu) << c.what;
    EXPECT_EQ(ChainHead(), before) << c.what;
  }
  GuardedFault fault;
  GuardedCall(WriteUnmapped, nullptr, &fault);
  const auto start = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&WriteUnmapped));
  EXPECT_GE(fault.address, start);
  EXPECT_LT(fault.address, start + 32);
}

TEST(GuardedCall, InnerGuardCatchesItsOwnFaultAndTheOuterGoesOn) {
  bool inner = true;
  int after = 0;
  EXPECT_TRUE(Guarded([&] {
    inner = GuardedCall(WriteUnmapped, nullptr);
    ++after;
  }));
  EXPECT_FALSE(inner);
  EXPECT_EQ(after, 1);
}

TEST(GuardedCall, CppExceptionsPassThroughWithTheFrameRemoved) {
  void* before = ChainHead();
  try {
    Guarded([] { throw std::runtime_error("through"); });
    ADD_FAILURE() << "the exception was swallowed";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "through");
  }
  EXPECT_EQ(ChainHead(), before);
  // The guard still works after an exception went through it.
  EXPECT_FALSE(GuardedCall(WriteUnmapped, nullptr));
}

TEST(GuardedCall, HandlersInsideTheBodyKeepTheirFaults) {
  // The system's own read test handles its fault in a frame above ours.
  BOOL bad = FALSE;
  EXPECT_TRUE(Guarded([&] { bad = IsBadReadPtr(unmapped, 4); }));
  EXPECT_TRUE(bad);
}

TEST(GuardedCall, RunsAgainOnAThreadWhoseGuardCaughtAFault) {
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(GuardedCall(WriteUnmapped, nullptr)) << i;
  int calls = 0;
  EXPECT_TRUE(Guarded([&] { ++calls; }));
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qor
