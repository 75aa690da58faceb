#include "crash/modules/method_thunk.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

struct Counter {
  int total = 0;
};

int __stdcall AddTo(Counter* self, int a, int b) {
  self->total += a * 10 + b;
  return self->total;
}

TEST(MethodThunk, CallsTheMethodWithItsObjectAndCleansTheStack) {
  Counter first, second;
  MethodThunk thunk_a, thunk_b;
  ASSERT_TRUE(thunk_a.Initialize(&first, reinterpret_cast<const void*>(&AddTo)));
  ASSERT_TRUE(thunk_b.Initialize(&second, reinterpret_cast<const void*>(&AddTo)));
  using Plain = int(__stdcall*)(int, int);
  auto a = reinterpret_cast<Plain>(thunk_a.Procedure());
  auto b = reinterpret_cast<Plain>(thunk_b.Procedure());
  // Called in a loop: a thunk that left the stack unbalanced would crash
  // or corrupt the loop's own locals.
  for (int i = 0; i < 100; ++i) {
    a(1, 2);
    b(3, 4);
  }
  EXPECT_EQ(first.total, 1200);
  EXPECT_EQ(second.total, 3400);
}

}  // namespace
}  // namespace qor
