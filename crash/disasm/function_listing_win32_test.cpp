#include "crash/disasm/function_listing_win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crash/disasm/function_listing.h"

namespace qor {
namespace {

__attribute__((noinline)) int Twice(int value) {
  if (value > 100) std::abort();
  return value * 2;
}

TEST(FunctionListingWin32Test, ListsOwnFunction) {
  InstallFunctionListing();
  ASSERT_NE(disassembler_hook, nullptr);
  const uint32_t entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&Twice));
  std::string text;
  TFunctionInfo info;
  ASSERT_TRUE(disassembler_hook(entry, text, entry, info, true, 0)) << info.last_error_str;
  EXPECT_TRUE(info.is_valid);
  // Without the debug-information hooks the entry has no name.
  char head[64];
  std::snprintf(head, sizeof head, "%08x sub_%x:", entry, entry);
  EXPECT_EQ(text.substr(0, text.find("\r\n")),
            std::string(head) + std::string(31 - (strlen(head) - 9), ' ') +
                "  ; function entry point");
  std::snprintf(head, sizeof head, "\r\n%08x >", entry);
  EXPECT_NE(text.find(head), std::string::npos);  // the mark on the entry's instruction
  EXPECT_EQ(disassembler_hook(0x10, text, 0, info, true, 0), false);
  EXPECT_EQ(info.last_error_no, 87u);
}

}  // namespace
}  // namespace qor
