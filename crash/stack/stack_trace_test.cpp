#include "crash/stack/stack_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include "crash/modules/testing/pe_test_image.h"
#include "crash/stack/stack_tables.h"
#include "crash/stack/testing/stack_test_process.h"

namespace qor::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (!text.empty()) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

// The arguments of one trace, with the outputs pre-filled with a marker so
// a test sees what the trace wrote.
struct Trace {
  bool hide_useless = false;
  bool relative_addresses = false;
  bool relative_lines = false;
  uint32_t current = 0;
  bool is_exception = false;
  bool exact = false;
  uint32_t creator = 0;
  bool use_frame_pointer = false;
  bool skip_chain = false;
  std::vector<uint8_t> prepared;
  bool no_current_item = false;
  TProgress* progress = nullptr;
  uint32_t function_entry = 0xDEADBEEF;
  uint32_t code_address = 0xDEADBEEF;

  std::string Run(TestProcess& process, const TestStack& stack) {
    process.MapStack(stack);
    return TraceStack(process.Context(), hide_useless, relative_addresses, relative_lines, current,
                      is_exception, exact, stack.Bottom(), kStackTop, creator, &function_entry,
                      &code_address, progress, use_frame_pointer ? stack.frame_pointer : 0,
                      skip_chain, prepared, no_current_item);
  }
};

// An access violation on the load in Leaf.
Trace FaultInLeaf() {
  Trace trace;
  trace.current = kLeaf + 3;
  trace.is_exception = true;
  trace.exact = true;
  return trace;
}

class StackTraceTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetStackTraceTables(); }
  void TearDown() override { ResetStackTraceTables(); }

  TestProcess process_;
};

TEST_F(StackTraceTest, StackWithoutReturnAddressesGivesTheCurrentInstructionOnly) {
  TestStack stack;
  for (uint32_t value : {0u, 5u, kData + 0x10, kStackBase + 0x100}) stack.Push(value);
  Trace trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            std::vector<std::string>{"00401063 test.exe Main 41 Leaf"});
  EXPECT_EQ(trace.function_entry, kLeaf);
  EXPECT_EQ(trace.code_address, kLeaf + 3);

  trace = FaultInLeaf();
  trace.no_current_item = true;
  EXPECT_EQ(trace.Run(process_, stack), "");
  EXPECT_EQ(trace.function_entry, 0u);
  EXPECT_EQ(trace.code_address, 0u);
}


// Main -> Outer -> Middle -> Inner -> Leaf, each call leaving its return
// address and a saved frame pointer.
TestStack ChainToLeaf() {
  TestStack stack;
  for (uint32_t ret : {kMain + 8, kOuter + 8, kMiddle + 8, kInner + 8}) stack.Call(ret);
  return stack;
}

const std::vector<std::string> kChainToLeaf = {
    "00401063 test.exe Main  41 Leaf",   "00401043 test.exe Main  31 Inner",
    "00401023 test.exe Main  21 Middle", "00401003 test.exe Main  10 Outer",
    "00401143 test.exe Main 101 Main",
};

TEST_F(StackTraceTest, CallChainIsPrintedInnermostFirstWithOrWithoutFramePointer) {
  for (const bool frame_pointer : {false, true}) {
    SCOPED_TRACE(frame_pointer ? "frame chain" : "stack scan");
    ResetStackTraceTables();
    Trace trace = FaultInLeaf();
    trace.use_frame_pointer = frame_pointer;
    EXPECT_EQ(Lines(trace.Run(process_, ChainToLeaf())), kChainToLeaf);
    EXPECT_EQ(trace.function_entry, kLeaf);
    EXPECT_EQ(trace.code_address, kLeaf + 3);
  }
}

TEST_F(StackTraceTest, FrameChainKeepsReturnAddressesTheCodeCannotExplain) {
  TestStack stack;
  stack.Call(kDetour + 10);
  Trace trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            std::vector<std::string>{"00401063 test.exe Main 41 Leaf"});
  // Kept without a call site, the item prints its return address.
  ResetStackTraceTables();
  trace.use_frame_pointer = true;
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            (std::vector<std::string>{"00401063 test.exe Main  41 Leaf",
                                      "0040118a test.exe Main 120 Detour"}));
}

TEST_F(StackTraceTest, JunkCandidatesDoNotAppear) {
  // Between the frames: data values, code addresses that do not follow a
  // call, an address in no memory, and a stale return address of an
  // earlier call that nothing on the stack leads to.
  TestStack stack;
  stack.Call(kMain + 8);
  for (uint32_t junk : {kData + 0x10, kMiddle + 5, kInner + 10, kBadAddress, kThrower + 8, 7u}) {
    stack.Push(junk);
  }
  stack.Call(kOuter + 8);
  stack.Push(kOuter + 1);
  stack.Call(kMiddle + 8);
  stack.Push(kCode + 0x1F);
  stack.Call(kInner + 8);
  for (const bool skip_chain : {false, true}) {
    ResetStackTraceTables();
    Trace trace = FaultInLeaf();
    trace.skip_chain = skip_chain;
    const std::string text = trace.Run(process_, stack);
    if (skip_chain) {
      // Without the chain search only what the code itself rules out goes;
      // the stale return address is a real call site.
      EXPECT_NE(text.find("Thrower"), std::string::npos);
    } else {
      EXPECT_EQ(Lines(text), kChainToLeaf);
    }
  }
}

TEST_F(StackTraceTest, RecursionIsPrintedOnce) {
  // Main -> Ping -> Pong -> Ping -> Pong -> Ping -> Leaf: the repeated pair
  // of calls keeps its outer copy.
  TestStack mutual;
  for (uint32_t ret : {kMain + 13, kPing + 8, kPong + 8, kPing + 8, kPong + 8, kPing + 13}) {
    mutual.Call(ret);
  }
  const std::vector<std::string> expected = {
      "00401063 test.exe Main  41 Leaf", "00401088 test.exe Main  52 Ping",
      "004010a3 test.exe Main  61 Pong", "00401083 test.exe Main  51 Ping",
      "00401148 test.exe Main 102 Main", ">> recursion: 4 frames shown as 2"};
  for (const bool skip_chain : {false, true}) {
    ResetStackTraceTables();
    Trace trace = FaultInLeaf();
    trace.skip_chain = skip_chain;
    EXPECT_EQ(Lines(trace.Run(process_, mutual)), expected);
  }
}

TEST_F(StackTraceTest, RunawayRecursionSaysHowDeepItWas) {
  // Thirty frames of Ping and Pong calling each other, and a separate
  // recursion of Ping alone further in.
  TestStack stack;
  stack.Call(kMain + 13);
  for (int i = 0; i < 15; ++i) {
    stack.Call(kPing + 8);
    stack.Call(kPong + 8);
  }
  stack.Call(kPing + 13);
  Trace trace = FaultInLeaf();
  const std::vector<std::string> lines = Lines(trace.Run(process_, stack));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], "004010a3 test.exe Main  61 Pong");
  EXPECT_EQ(lines[4], "00401148 test.exe Main 102 Main");
  EXPECT_EQ(lines[5], ">> recursion: 30 frames shown as 2");

  // A single repeated return address (a stale copy beside the real one)
  // is folded without a word.
  ResetStackTraceTables();
  TestStack stale;
  stale.Call(kMain + 8);
  stale.Call(kOuter + 8);
  stale.Push(kMiddle + 8);
  stale.Call(kMiddle + 8);
  stale.Call(kInner + 8);
  trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, stale)), kChainToLeaf);

  // Several stale copies of a real return address fold into it, but the
  // function they lead into does not call back: no recursion is told.
  ResetStackTraceTables();
  TestStack stale_copies;
  stale_copies.Call(kMain + 8);
  stale_copies.Call(kOuter + 8);
  for (int i = 0; i < 3; ++i) stale_copies.Push(kMiddle + 8);
  stale_copies.Call(kMiddle + 8);
  stale_copies.Call(kInner + 8);
  trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, stale_copies)), kChainToLeaf);

  // Hidden lines count as not shown.
  ResetStackTraceTables();
  trace = FaultInLeaf();
  trace.hide_useless = true;
  trace.relative_lines = true;
  EXPECT_EQ(Lines(trace.Run(process_, stack)).back(), ">> recursion: 30 frames shown as 2");
}

TEST_F(StackTraceTest, InlinedFunctionsAtACallGetLinesOfTheirOwn) {
  TestStack stack;
  stack.Call(kHost + 8);
  Trace trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            (std::vector<std::string>{"00401063 test.exe Main    41 Leaf",
                                      "004011a3 test.exe step.h   7 Step [inlined]",
                                      "004011a3 test.exe walk.h  12 Walk [inlined]",
                                      "004011a3 test.exe Main   131 Host"}));
  ResetStackTraceTables();
  trace = FaultInLeaf();
  trace.relative_addresses = true;
  trace.relative_lines = true;
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            (std::vector<std::string>{"00401063 +3 test.exe Main    41 +1 Leaf",
                                      "004011a3 +3 test.exe step.h      7 Step [inlined]",
                                      "004011a3 +3 test.exe walk.h     12 Walk [inlined]",
                                      "004011a3 +3 test.exe Main   131 +1 Host"}));
}

TEST_F(StackTraceTest, RaisedExceptionShowsTheCallOfTheRaiseRoutine) {
  // Main -> Thrower -> "@RaiseExcept"; the exception address is the return
  // address of the raise call, still on the stack.
  TestStack stack;
  stack.Call(kMain + 18);
  stack.Call(kThrower + 8);
  stack.Push(0);
  Trace trace;
  trace.current = kThrower + 8;
  trace.is_exception = true;
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            (std::vector<std::string>{"00401103 test.exe Main  81 Thrower",
                                      "0040114d test.exe Main 103 Main"}));
  EXPECT_EQ(trace.function_entry, kThrower);
  EXPECT_EQ(trace.code_address, kThrower + 3);

  // The same address as the faulting instruction itself is that instruction.
  ResetStackTraceTables();
  trace.exact = true;
  EXPECT_EQ(Lines(trace.Run(process_, stack)).front(), "00401108 test.exe Main  81 Thrower");
}

TEST_F(StackTraceTest, CallThroughBadPointerReportsTheCallingInstruction) {
  TestStack stack;
  stack.Call(kMain + 23);
  stack.Push(kBadCaller + 8);  // the faulting call pushed its return address
  Trace trace;
  trace.current = kBadAddress;
  trace.is_exception = true;
  trace.exact = true;
  const std::vector<std::string> lines = Lines(trace.Run(process_, stack));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "00001234 ???      " + std::string(5 + 4, ' '));
  EXPECT_EQ(lines[1], "00401123 test.exe Main  91 BadCaller");
  EXPECT_EQ(lines[2], "00401152 test.exe Main 104 Main");
  EXPECT_EQ(trace.function_entry, kBadCaller);
  EXPECT_EQ(trace.code_address, kBadCaller + 3);
}

TEST_F(StackTraceTest, RelativeAddressesAndLines) {
  Trace trace = FaultInLeaf();
  trace.relative_addresses = true;
  trace.relative_lines = true;
  const std::vector<std::string> all = {
      "00401063 +3 test.exe Main  41 +1 Leaf",   "00401043 +3 test.exe Main  31 +1 Inner",
      "00401023 +3 test.exe Main  21 +1 Middle", "00401003 +3 test.exe Main  10 +0 Outer",
      "00401143 +3 test.exe Main 101 +1 Main"};
  EXPECT_EQ(Lines(trace.Run(process_, ChainToLeaf())), all);

  // Outer's call is on its first line: relative line 0 counts as no line.
  ResetStackTraceTables();
  trace.hide_useless = true;
  std::vector<std::string> useful = all;
  useful.erase(useful.begin() + 3);
  EXPECT_EQ(Lines(trace.Run(process_, ChainToLeaf())), useful);
}

TEST_F(StackTraceTest, ModuleWithoutDebugInformationIsNamedByItsExports) {
  TestStack stack;
  stack.Call(kMain + 28);
  stack.Call(kHelperFunction + 8);
  Trace trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, stack)),
            (std::vector<std::string>{
                "00401063 test.exe   Main  41 Leaf", "10001003 helper.dll " + std::string(5 + 4, ' ') + "HelperEntry",
                "00401157 test.exe   Main 105 Main"}));
  ResetStackTraceTables();
  trace.hide_useless = true;
  EXPECT_EQ(Lines(trace.Run(process_, stack)).size(), 2u);
}

TEST_F(StackTraceTest, CreatorAddressIsTheOutermostItemAtTheThreadStart) {
  Trace trace;
  trace.current = kLeaf + 3;
  trace.creator = kMain;
  std::vector<std::string> expected = kChainToLeaf;
  expected.push_back("00401140 test.exe Main 100 Main");
  EXPECT_EQ(Lines(trace.Run(process_, ChainToLeaf())), expected);
}

TEST_F(StackTraceTest, PreparedListReplacesTheStackScan) {
  // Count, then flag and address per entry; the stack itself holds nothing.
  std::vector<uint8_t> list(4);
  Put32(list, 0, 5);
  for (uint32_t ret : {kMain + 8, kOuter + 8, kMiddle + 8, kInner + 8}) {
    list.push_back(1);
    Put32(list, static_cast<uint32_t>(list.size()), ret);
  }
  TestStack empty;
  empty.Push(0);
  Trace trace = FaultInLeaf();
  trace.prepared = list;  // claims one entry more than it holds
  EXPECT_EQ(Lines(trace.Run(process_, empty)), kChainToLeaf);
}


// Synthetic memory whose reads of one address throw, as a fault inside a
// phase would.
class TrappedMemory : public MemoryReader {
 public:
  TrappedMemory(const MemoryReader& inner, uint32_t trap) : inner_(inner), trap_(trap) {}
  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override {
    if (address <= trap_ && trap_ - address < size) throw std::runtime_error("trap");
    return inner_.Read(address, buffer, size);
  }
  bool QueryRegion(uint32_t address, MemoryRegion& region) const override {
    return inner_.QueryRegion(address, region);
  }

 private:
  const MemoryReader& inner_;
  uint32_t trap_;
};

uint32_t FailedAtLeaf() { return kLeaf + 3; }

TEST_F(StackTraceTest, FailingPhaseReplacesTheResultWithItsName) {
  // Only Outer's return address: the body of Middle, the function it
  // called, is first read when the callees are linked.
  TestStack stack;
  stack.Call(kOuter + 8);
  process_.MapStack(stack);
  const auto trace = [&](uint32_t trap, uint32_t (*where)()) {
    ResetStackTraceTables();
    const TrappedMemory memory(process_.memory, trap);
    const StackTraceContext context{memory, process_, {}, where};
    uint32_t entry = 1, code = 1;
    return TraceStack(context, false, false, false, kLeaf + 3, true, true, stack.Bottom(),
                      kStackTop, 0, &entry, &code, nullptr, 0, false, {}, true);
  };
  EXPECT_EQ(trace(kMiddle + 9, nullptr), ">> internal error in InDeepChecks");
  EXPECT_EQ(trace(kMiddle + 9, FailedAtLeaf),
            ">> internal error in InDeepChecks:\r\n00401063 test.exe Main 41 Leaf");
  EXPECT_EQ(trace(stack.Bottom() + 4, nullptr), ">> internal error in CollectPossibleStackItems");
}

const char* g_throwing_phase = nullptr;
void ThrowInChosenPhase(const char* phase) {
  if (std::string(phase) == g_throwing_phase) throw std::bad_alloc();
}

TEST_F(StackTraceTest, EveryPhaseIsGuardedOnItsOwn) {
  for (const char* phase : {"CollectPossibleStackItems", "RemoveRecursiveStackAreas", "InDeepChecks",
                            "RealizeOptimalLinkChains", "RemoveRecursiveAreas", "FillFinalOutput",
                            "ComposeResult"}) {
    ResetStackTraceTables();
    g_throwing_phase = phase;
    phase_start_hook = ThrowInChosenPhase;
    Trace trace = FaultInLeaf();
    const std::string text = trace.Run(process_, ChainToLeaf());
    phase_start_hook = nullptr;
    EXPECT_EQ(text, std::string(">> internal error in ") + phase);
  }
  ResetStackTraceTables();
  Trace trace = FaultInLeaf();
  EXPECT_EQ(Lines(trace.Run(process_, ChainToLeaf())), kChainToLeaf);
}

TEST_F(StackTraceTest, StackRangeBelowItsBottomGivesNothing) {
  TestStack stack = ChainToLeaf();
  process_.MapStack(stack);
  uint32_t entry = 1, code = 1;
  EXPECT_EQ(TraceStack(process_.Context(), false, false, false, kLeaf + 3, true, true, kStackTop,
                       stack.Bottom(), 0, &entry, &code, nullptr, 0, false, {}, false),
            "");
  EXPECT_EQ(entry, 0u);
  EXPECT_EQ(code, 0u);
}

uint32_t g_tick = 0;
std::vector<int64_t> g_values;

class RecordingWindow : public ProgressWindow {
 public:
  void Show() override {}
  void SetValue(int64_t per_mille) override { g_values.push_back(per_mille); }
};

uint32_t SlowClock() { return g_tick += 1000; }
std::unique_ptr<ProgressWindow> CreateRecordingWindow() {
  return std::make_unique<RecordingWindow>();
}

TEST_F(StackTraceTest, ProgressRisesToTheEndOfTheRunningPhase) {
  g_values.clear();
  TProgress progress(ProgressHooks{SlowClock, CreateRecordingWindow});
  progress.AddPhase(1000);
  Trace trace = FaultInLeaf();
  trace.progress = &progress;
  trace.Run(process_, ChainToLeaf());
  ASSERT_FALSE(g_values.empty());
  EXPECT_TRUE(std::is_sorted(g_values.begin(), g_values.end()));
  EXPECT_EQ(g_values.front(), 0);
  EXPECT_EQ(g_values.back(), 1000);
}
}  // namespace
}  // namespace qor::test
