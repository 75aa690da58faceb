// The stack walker over this very process under Wine, against frames known
// by construction: a chain at -O2, a recursion, a callback through user32,
// a second thread, a C++ exception and an access violation. The program
// carries its own debug information, as a shipped program does.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "crash/disasm/debug_info_hooks.h"
#include "crash/stack/stack_trace.h"
#include "crash/stack/stack_trace_win32.h"
#include "crash/stack/testing/stack_walk_scenarios_win32.h"
#include "runtime/raise.h"

namespace qor {
void TraceHere();
namespace {

constexpr char kProgram[] = "stack_trace_live_test.exe";

struct Line {
  std::string module, unit, function;
  int line = 0;
  uint32_t address = 0;
  bool inlined = false;  // a line of an inlined function, above its host's
};

// "address module unit [line] function [inlined]", split on the column
// spaces; the function name may hold spaces of its own.
std::vector<Line> ParseTrace(const std::string& trace) {
  std::vector<Line> lines;
  std::istringstream rows(trace);
  for (std::string row; std::getline(rows, row);) {
    if (!row.empty() && row.back() == '\r') row.pop_back();
    if (row.rfind(">>", 0) == 0) continue;  // a note, no frame
    std::istringstream fields(row);
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    if (words.size() < 2) continue;
    Line line;
    line.address = static_cast<uint32_t>(std::stoul(words[0], nullptr, 16));
    line.module = words[1];
    line.inlined = words.back() == "[inlined]";
    if (line.inlined) words.pop_back();
    size_t next = 2;
    if (words.size() >= 4) line.unit = words[next++];
    if (next + 1 < words.size() && words[next].find_first_not_of("0123456789") == std::string::npos) {
      line.line = std::atoi(words[next++].c_str());
    }
    for (; next < words.size(); ++next) line.function += (line.function.empty() ? "" : " ") + words[next];
    lines.push_back(line);
  }
  return lines;
}

std::string g_trace;
uint32_t g_function_entry = 0, g_code_address = 0;

}  // namespace
__attribute__((noinline)) void TraceHere() {
  g_trace = TraceStack(false, false, false, 0, false, false, 0, 0, 0, nullptr, nullptr, nullptr, 0,
                       false, nullptr, false);
}

namespace {
void TraceRaise(const runtime::RaiseRecord& record) {
  g_trace = TraceStack(false, false, false, record.address, true, false, 0, 0, 0, nullptr, nullptr,
                       nullptr, 0, false, nullptr, false);
}

LONG CALLBACK TraceFault(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT* context = pointers->ContextRecord;
  const uint32_t fault = static_cast<uint32_t>(
      reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress));
  g_trace = TraceStack(false, false, false, fault, true, true, context->Esp, 0, 0,
                       &g_function_entry, &g_code_address, nullptr, context->Ebp, false, nullptr,
                       false);
  // Go on after the faulting write.
  return scenario::StepPastFault(*context) ? EXCEPTION_CONTINUE_EXECUTION
                                           : EXCEPTION_CONTINUE_SEARCH;
}

class LiveStackTrace : public testing::Test {
 protected:
  static void SetUpTestSuite() { InstallDebugInfoHooks(); }

  void SetUp() override {
    g_trace.clear();
    scenario::capture = TraceHere;
  }

  // Our frames, innermost first, must be exactly the expected ones, in the
  // scenarios' unit; other modules' frames are allowed only between them
  // when the scenario says so. Returns the lines of our frames.
  std::vector<Line> ExpectFrames(const scenario::Expected& expected) {
    SCOPED_TRACE(expected.name);
    std::printf("%s:\n%s\n", expected.name, g_trace.c_str());
    std::vector<Line> ours;
    for (const Line& line : ParseTrace(g_trace)) {
      if (ours.size() == expected.frames.size()) break;
      if (line.inlined) continue;
      if (line.module != kProgram) {
        EXPECT_TRUE(ours.empty() || expected.system_frames_between) << "system frame " << line.module;
        continue;
      }
      EXPECT_EQ(line.function, expected.frames[ours.size()]) << "frame " << ours.size();
      if (line.function.rfind("scenario.", 0) == 0) {
        EXPECT_EQ(line.unit, "stack_walk_scenarios_win32.cpp");
      }
      ours.push_back(line);
    }
    EXPECT_EQ(ours.size(), expected.frames.size()) << "frames missing";
    return ours;
  }
};

const scenario::Expected& Scenario(const char* name) {
  static const std::vector<scenario::Expected> all = scenario::ExpectedFrames("qor.TraceHere");
  for (const scenario::Expected& e : all)
    if (std::string(e.name) == name) return e;
  throw std::logic_error(name);
}

TEST_F(LiveStackTrace, ChainOfFiveAtFullOptimisation) {
  scenario::RunChain();
  const std::vector<Line> frames = ExpectFrames(Scenario("chain"));
  // Chain5 down to Chain1 each show the line of their call.
  for (size_t i = 1; i < frames.size() && i <= 5; ++i)
    EXPECT_EQ(frames[i].line, scenario::lines.chain[6 - i]) << frames[i].function;
}

TEST_F(LiveStackTrace, InlinedFunctionGetsALineOfItsOwnAboveItsHost) {
  scenario::RunInlined();
  std::printf("inlined:\n%s\n", g_trace.c_str());
  const std::vector<Line> lines = ParseTrace(g_trace);
  const auto host = std::find_if(lines.begin(), lines.end(),
                                 [](const Line& l) { return l.function == "scenario.InlinedHost"; });
  ASSERT_NE(host, lines.end());
  ASSERT_NE(host, lines.begin());
  const Line& step = *(host - 1);
  EXPECT_TRUE(step.inlined);
  EXPECT_EQ(step.function, "scenario.(anonymous namespace).InlinedStep");
  EXPECT_EQ(step.unit, "stack_walk_scenarios_win32.cpp");
  EXPECT_EQ(step.line, scenario::lines.inlined_capture);
  EXPECT_EQ(step.address, host->address);
  EXPECT_FALSE(host->inlined);
  EXPECT_EQ(host->unit, "stack_walk_scenarios_win32.cpp");
  EXPECT_EQ(host->line, scenario::lines.inlined_call);
}

TEST_F(LiveStackTrace, RecursionShownOnce) {
  scenario::RunRecursion(6);
  ExpectFrames(Scenario("recursion"));
  // Six calls of Recurse by itself fold into one line, which says so; a
  // stale copy of the return address left on the stack below may count too.
  const size_t note = g_trace.find("\r\n>> recursion: ");
  ASSERT_NE(note, std::string::npos);
  int frames = 0, shown = 0;
  ASSERT_EQ(std::sscanf(g_trace.c_str() + note, "\r\n>> recursion: %d frames shown as %d", &frames, &shown), 2);
  EXPECT_GE(frames, 6);
  EXPECT_LE(frames, 8);
  EXPECT_EQ(shown, 1);
}

TEST_F(LiveStackTrace, CallbackThroughUser32) {
  scenario::RunCallback();
  ExpectFrames(Scenario("callback"));
}

TEST_F(LiveStackTrace, SecondThread) {
  scenario::RunThread();
  ExpectFrames(Scenario("thread"));
}

TEST_F(LiveStackTrace, ExceptionShowsTheThrow) {
  runtime::raise_hook = TraceRaise;
  scenario::RunThrow();
  runtime::raise_hook = nullptr;
  const std::vector<Line> frames = ExpectFrames(Scenario("exception"));
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].line, scenario::lines.throw_line) << "the throw";
}

TEST_F(LiveStackTrace, AccessViolation) {
  PVOID handler = AddVectoredExceptionHandler(1, TraceFault);
  ASSERT_NE(handler, nullptr);
  scenario::RunFault();
  RemoveVectoredExceptionHandler(handler);
  const std::vector<Line> frames = ExpectFrames(Scenario("access violation"));
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].line, scenario::lines.fault_line) << "the faulting write";
  EXPECT_EQ(g_code_address, frames[0].address);
}

TEST_F(LiveStackTrace, InsideCatchBlocksAndDestructorsDuringUnwinding) {
  for (const scenario::Expected& expected : scenario::ExpectedFrames("qor.TraceHere")) {
    g_trace.clear();
    if (!scenario::RunHandling(expected.name)) continue;
    ExpectFrames(expected);
  }
}

const char* g_faulting_phase = nullptr;
int* volatile g_unmapped = reinterpret_cast<int*>(16);

__attribute__((noinline)) void FaultInChosenPhase(const char* phase) {
  if (std::string(phase) == g_faulting_phase) *g_unmapped = 1;
}

TEST_F(LiveStackTrace, AccessViolationInsideEachPhaseGivesItsInternalErrorAndNothingBreaks) {
  for (const char* phase : {"CollectPossibleStackItems", "RemoveRecursiveStackAreas", "InDeepChecks",
                            "RealizeOptimalLinkChains", "RemoveRecursiveAreas", "FillFinalOutput",
                            "ComposeResult"}) {
    SCOPED_TRACE(phase);
    g_faulting_phase = phase;
    phase_start_hook = FaultInChosenPhase;
    scenario::RunChain();
    phase_start_hook = nullptr;
    const std::string head = std::string(">> internal error in ") + phase + ":\r\n";
    ASSERT_EQ(g_trace.substr(0, head.size()), head) << g_trace;
    // The fault's location: the write in the hook, named from our own debug
    // information, which the lookup reached after the fault.
    EXPECT_NE(g_trace.find("stack_trace_live_win32_test.cpp"), std::string::npos) << g_trace;
    EXPECT_NE(g_trace.find("FaultInChosenPhase"), std::string::npos) << g_trace;
    // The next trace, with the tables as the failed one left them, is whole.
    g_trace.clear();
    scenario::RunChain();
    ExpectFrames(Scenario("chain"));
  }
}

}  // namespace
}  // namespace qor
