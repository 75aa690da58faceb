#include <windows.h>

#include <gtest/gtest.h>

#include "crash/modules/debug_id.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

// Every module of the tree is linked with a build id and a named debug
// file, so the test program itself carries the full record.
TEST(DebugIdLive, OwnModuleCarriesTheFullRecord) {
  const uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  CodeViewRecord record;
  ASSERT_TRUE(ReadCodeViewRecord(LiveMemory(), base, record));
  EXPECT_EQ(record.age, 1u);
  EXPECT_EQ(DebugFileName(record), "qor_modules_win32_test.pdb");
  EXPECT_EQ(record.bytes.size(), 24 + record.debug_file.size() + 1);
  EXPECT_NE(DebugIdText(record).substr(0, 32), std::string(32, '0'));
}

// Wine's own DLLs are linked without a build id: a clean false.
TEST(DebugIdLive, ModuleWithoutRecordGivesFalse) {
  const uint32_t kernel = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA("kernel32.dll")));
  CodeViewRecord record;
  EXPECT_FALSE(ReadCodeViewRecord(LiveMemory(), kernel, record));
}

}  // namespace
}  // namespace qor
