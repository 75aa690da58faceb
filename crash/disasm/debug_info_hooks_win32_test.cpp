#include "crash/disasm/debug_info_hooks.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "crash/disasm/disasm_text.h"

namespace qor {
namespace {

// Something of our own with a known name to look up.
__attribute__((noinline)) int MarkerFunction(int x) { return x * 7 + 1; }

uint32_t AddressOf(int (*function)(int)) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(function));
}

TEST(DebugInfoHooksWin32Test, HooksReachTheDecoder) {
  InstallDebugInfoHooks();
  ASSERT_NE(procedure_name_hook, nullptr);
  EXPECT_EQ(procedure_name_hook(AddressOf(MarkerFunction)),
            "debug_info_hooks_win32_test.cpp.qor.(anonymous namespace).MarkerFunction");
  int32_t line = 0;
  uint32_t start = 0, end = 0;
  line_hook(AddressOf(MarkerFunction), line, start, end);
  EXPECT_GT(line, 0);
  RemoveDebugInfoHooks();
  EXPECT_EQ(procedure_name_hook, nullptr);
}

}  // namespace
}  // namespace qor
