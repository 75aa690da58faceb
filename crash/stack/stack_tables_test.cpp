#include "crash/stack/stack_tables.h"

#include <gtest/gtest.h>

#include "crash/stack/testing/stack_test_process.h"

namespace qor::test {
namespace {

class StackTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetStackTraceTables(); }
  void TearDown() override { ResetStackTraceTables(); }

  const TFunctionEntry& Function(int32_t index) { return Tables().Functions.at(index); }

  TestProcess process_;
};

TEST_F(StackTablesTest, ModuleRowsFromTheHeadersRegisteredOnce) {
  const int32_t module = RegisterModule(process_.Context(), kProgramBase);
  ASSERT_EQ(module, 0);
  const TModuleEntry& row = Tables().Modules[0];
  EXPECT_EQ(row.FileName, "test.exe");
  EXPECT_EQ(row.CodeBegin, kCode);
  EXPECT_EQ(row.CodeEnd, kCode + 0x1000);
  EXPECT_EQ(row.DataBegin, kData);
  EXPECT_EQ(row.DataEnd, kData + 0x1000);
  EXPECT_NE(row.DebugInfo, nullptr);
  EXPECT_EQ(RegisterModule(process_.Context(), kProgramBase), 0);
  EXPECT_EQ(RegisterModule(process_.Context(), kHelperBase), 1);
  EXPECT_EQ(Tables().Modules[1].DebugInfo, nullptr);
  EXPECT_EQ(RegisterModule(process_.Context(), kStackBase), -1);  // no module file there
}

TEST_F(StackTablesTest, FunctionsAreFoundByEntryAndNamedFromDebugInformationOrExports) {
  const int32_t leaf = RegisterFunction(process_.Context(), kLeaf, {}, -1, false, false);
  ASSERT_GE(leaf, 0);
  EXPECT_EQ(Function(leaf).Name, "Leaf");
  EXPECT_EQ(Function(leaf).Module, 0);
  EXPECT_EQ(RegisterFunction(process_.Context(), kLeaf, "Other", -1, false, false), leaf);
  const int32_t helper = RegisterFunction(process_.Context(), kHelperFunction, {}, -1, false, false);
  ASSERT_GE(helper, 0);
  EXPECT_EQ(Function(helper).Name, "HelperEntry");
  EXPECT_EQ(RegisterFunction(process_.Context(), 0, {}, -1, false, false), -1);
  EXPECT_EQ(RegisterFunction(process_.Context(), kBadAddress, {}, -1, false, false), -1);
}

TEST_F(StackTablesTest, UnreadableCodeGetsAStandInOnlyWhenForced) {
  const int32_t stand_in = RegisterFunction(process_.Context(), kBadAddress, {}, -1, true, true);
  ASSERT_GE(stand_in, 0);
  const TFunctionInfo& info = Function(stand_in).Info;
  EXPECT_TRUE(info.is_valid);
  EXPECT_EQ(info.entry_point, kBadAddress);
  EXPECT_EQ(info.code_begin, kBadAddress);
  EXPECT_EQ(info.code_len, 0u);
  EXPECT_TRUE(info.code_areas.empty());
  EXPECT_EQ(Function(stand_in).Module, -1);
}

TEST_F(StackTablesTest, ApprovalFollowsJumpsAndEndsOnCycles) {
  const int32_t hop = RegisterFunction(process_.Context(), kHop, {}, -1, false, false);
  ASSERT_EQ(Tables().Functions.size(), 2u);  // the jump target came along
  const int32_t back = RegisterFunction(process_.Context(), kHelperHop, {}, -1, false, false);
  EXPECT_EQ(back, 1);
  EXPECT_FALSE(Function(hop).Approved);
  EXPECT_FALSE(Function(back).Approved);
  EXPECT_EQ(RegisterFunction(process_.Context(), kHop, {}, -1, false, true), hop);
  EXPECT_TRUE(Function(hop).Approved);
  EXPECT_TRUE(Function(back).Approved);
}

TEST_F(StackTablesTest, DispatchCallsCountAsUnknownTargetsOnlyOn9x) {
  process_.dispatch_message = kHelperFunction;
  const auto dispatch_entries = [this] {
    ResetStackTraceTables();
    const int32_t main = RegisterFunction(process_.Context(), kMain, {}, -1, false, false);
    int count = 0;
    for (const UnknownTarget& entry : Function(main).Info.unknown_targets) {
      count += entry.is_call && entry.code_addr == kMain + 23 && entry.after_addr == kMain + 28;
    }
    return count;
  };
  EXPECT_EQ(dispatch_entries(), 0);
  process_.is_9x = true;
  EXPECT_EQ(dispatch_entries(), 1);
}

}  // namespace
}  // namespace qor::test
