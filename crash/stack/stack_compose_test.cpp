// The column rules of the trace text, over items whose output is given.
#include <gtest/gtest.h>

#include "crash/stack/stack_phases.h"
#include "crash/stack/testing/stack_test_process.h"

namespace qor::test {
namespace {

TStackItem Shown(uint32_t address, const char* module, const char* unit, int32_t line,
                 const char* function, uint32_t start) {
  TStackItem item;
  item.Output.Address = address;
  item.Output.ModuleName = module;
  item.Output.UnitName = unit;
  item.Output.Line = line;
  item.Output.FunctionName = function;
  item.Output.FunctionStart = start;
  return item;
}

class ComposeTest : public ::testing::Test {
 protected:
  std::string Compose(const TraceRequest& request) {
    StackWalk walk{process_.Context(), request, items_, {}, -1, {}};
    ComposeResult(walk);
    return walk.result;
  }

  void SetUp() override {
    // Outermost first: the thread's start, an export without a line, a
    // return address seen twice, an item that is not part of the stack,
    // and the current instruction without a function name.
    items_.push_back(Shown(0x401140, "test.exe", "Main", 100, "Main", 0x401140));
    items_.push_back(Shown(0x10001003, "helper.dll", "", 0, "HelperEntry", 0x10001000));
    items_.push_back(Shown(0x401003, "test.exe", "Main", 10, "Outer", 0x401000));
    items_.push_back(Shown(0x401003, "test.exe", "Main", 10, "Outer", 0x401000));
    items_.push_back(Shown(0x401023, "test.exe", "Main", 21, "Middle", 0x401020));
    items_.back().Invalid = true;
    items_.push_back(Shown(0x4011a3, "test.exe", "Big", 7, "", 0x401000));
    items_.back().Top = true;
  }

  TestProcess process_;
  std::vector<TStackItem> items_;
};

TEST_F(ComposeTest, OffsetsAreZeroPaddedAndZeroWithoutAUsableFunctionStart) {
  TraceRequest request;
  request.hide_useless_items = true;
  request.show_relative_addresses = true;
  request.creator_address = 0x401140;
  EXPECT_EQ(Compose(request),
            "004011a3 +1a3 test.exe Big    7 \r\n"
            "00401003 +003 test.exe Main  10 Outer\r\n"
            "00401140 +000 test.exe Main 100 Main");
}

TEST_F(ComposeTest, ItemsWithoutLinesShowUnlessHiddenAndNoOffsetColumnByDefault) {
  TraceRequest request;
  EXPECT_EQ(Compose(request),
            "004011a3 test.exe   Big    7 \r\n"
            "00401003 test.exe   Main  10 Outer\r\n"
            "10001003 helper.dll " + std::string(5 + 4, ' ') + "HelperEntry\r\n" +
            "00401140 test.exe   Main 100 Main");
}

TEST_F(ComposeTest, RelativeLinesShowBothNumbers) {
  items_ = {Shown(0x401063, "test.exe", "Main", 1, "Leaf", 0x401060),
            Shown(0x401003, "test.exe", "Main", 0, "Outer", 0x401000)};
  items_[0].Output.FunctionLine = 41;
  items_[1].Output.FunctionLine = 10;
  TraceRequest request;
  request.show_relative_lines = true;
  EXPECT_EQ(Compose(request),
            "00401003 test.exe Main 10 +0 Outer\r\n"
            "00401063 test.exe Main 41 +1 Leaf");
  items_.clear();
  EXPECT_EQ(Compose(request), "");
}

}  // namespace
}  // namespace qor::test
