// Our stack walker and the system's StackWalk64 (dbghelp, which unwinds
// optimised MinGW code through its DWARF call-frame tables) on the same
// captures: at each scenario's innermost point both walk the same stack.
// Frames are named through our debug-information store, so only the
// walking differs. Prints per scenario how many of the true frames each
// walker reports in order and how many false frames, and the time per
// trace of the main thread.
#include <windows.h>
#include <dbghelp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "crash/debuginfo/debug_info_live.h"
#include "crash/disasm/debug_info_hooks.h"
#include "crash/stack/stack_trace_win32.h"
#include "crash/stack/testing/stack_walk_scenarios_win32.h"
#include "runtime/raise.h"

namespace qor {

void CaptureBoth();

namespace {

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

// The registers of the function it stands in, at the point where it stands:
// the instruction after the call is the one at the label, and the push of
// the call is popped again before the stack pointer is taken, so they agree
// with the call-frame tables at that point. (The system's capture routine
// returns a stack pointer that the tables of an optimised caller do not
// expect after a stdcall call.)
#define CAPTURE_CONTEXT(context)                                                         \
  do {                                                                                   \
    (context) = CONTEXT{};                                                               \
    (context).ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;                          \
    DWORD eip_, esp_, ebp_;                                                              \
    asm volatile("call 1f\n1: pop %0\n mov %%esp, %1\n mov %%ebp, %2"                 \
                 : "=r"(eip_), "=r"(esp_), "=r"(ebp_));                                 \
    (context).Eip = eip_;                                                                \
    (context).Esp = esp_;                                                                \
    (context).Ebp = ebp_;                                                                \
  } while (false)

namespace {

// One frame: the code address a walker gives, and the function our store
// names for it ("" outside this program).
struct Frame {
  uint32_t address = 0;
  std::string function;
};

std::string FunctionAt(uint32_t address) {
  AddressInfo info;
  if (!LiveAddressInfo(address, info) || info.module_file_name.find("stack_walk_peer_test") ==
                                            std::string::npos) {
    return {};
  }
  return info.public_name;
}

// Our trace's lines give the call instruction of each frame.
std::vector<Frame> OurFrames(const std::string& trace) {
  std::vector<Frame> frames;
  std::istringstream rows(trace);
  for (std::string row; std::getline(rows, row);) {
    if (row.size() < 8 || row.rfind(">>", 0) == 0) continue;
    const uint32_t address = static_cast<uint32_t>(std::stoul(row.substr(0, 8), nullptr, 16));
    frames.push_back({address, FunctionAt(address)});
  }
  return frames;
}

// The code addresses StackWalk64 finds from `context`, innermost first.
std::vector<uint32_t> PeerAddresses(CONTEXT context) {
  STACKFRAME64 frame = {};
  frame.AddrPC.Offset = context.Eip;
  frame.AddrFrame.Offset = context.Ebp;
  frame.AddrStack.Offset = context.Esp;
  frame.AddrPC.Mode = frame.AddrFrame.Mode = frame.AddrStack.Mode = AddrModeFlat;
  std::vector<uint32_t> addresses;
  for (int i = 0; i < 100; ++i) {
    if (!StackWalk64(IMAGE_FILE_MACHINE_I386, GetCurrentProcess(), GetCurrentThread(), &frame,
                     &context, nullptr, SymFunctionTableAccess64, SymGetModuleBase64, nullptr) ||
        frame.AddrPC.Offset == 0) {
      break;
    }
    addresses.push_back(static_cast<uint32_t>(frame.AddrPC.Offset));
  }
  return addresses;
}

// Return addresses are named through the byte before them (the call), the
// first frame through its own address. Repeated return addresses of a
// recursion are kept once, as our walker shows them.
std::vector<Frame> PeerFrames(const CONTEXT& context) {
  std::vector<Frame> frames;
  uint32_t previous = 0;
  for (uint32_t pc : PeerAddresses(context)) {
    if (pc == previous) continue;
    frames.push_back({pc, FunctionAt(frames.empty() ? pc : pc - 1)});
    previous = pc;
  }
  return frames;
}

struct Score {
  int found = 0;         // true frames reported in order
  int false_frames = 0;  // frames of this program among them that are not true
};

// The walker's frames of this program, from the first to the last that is a
// true frame, against the true frames: the longest common subsequence is
// what it found in order; the rest of that stretch is false.
Score ScoreFrames(const std::vector<Frame>& frames, const scenario::Expected& expected) {
  const auto is_true = [&](const std::string& name) {
    return std::find(expected.frames.begin(), expected.frames.end(), name) != expected.frames.end();
  };
  std::vector<std::string> names;
  for (const Frame& frame : frames) {
    if (frame.function.empty()) continue;  // other modules
    names.push_back(frame.function);
    if (frame.function == expected.frames.back()) break;  // the root
  }
  while (!names.empty() && !is_true(names.back())) names.pop_back();
  auto first = std::find_if(names.begin(), names.end(), is_true);
  names.erase(names.begin(), first);
  const size_t n = names.size(), m = expected.frames.size();
  std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      common[i][j] = names[i - 1] == expected.frames[j - 1]
                         ? common[i - 1][j - 1] + 1
                         : std::max(common[i - 1][j], common[i][j - 1]);
    }
  }
  Score score;
  score.found = common[n][m];
  score.false_frames = static_cast<int>(n) - score.found;
  return score;
}

std::string Names(const std::vector<Frame>& frames) {
  std::string text;
  for (const Frame& frame : frames) text += (frame.function.empty() ? "-" : frame.function) + " ";
  return text;
}

struct Capture {
  std::vector<Frame> ours, peer;
};
Capture g_capture;

// Both walkers from one context: ours scans the stack from its stack
// pointer, StackWalk64 unwinds from its registers.
void WalkBoth(const CONTEXT& context, uint32_t current, bool is_exception, bool exact) {
  const std::string trace =
      TraceStack(false, false, false, current, is_exception, exact, context.Esp, 0, 0, nullptr,
                 nullptr, nullptr, is_exception ? context.Ebp : 0, false, nullptr, false);
  g_capture.ours = OurFrames(trace);
  g_capture.peer = PeerFrames(context);
}

void PeerOnRaise(const runtime::RaiseRecord& record) {
  CONTEXT context;
  CAPTURE_CONTEXT(context);
  WalkBoth(context, record.address, true, false);
}

LONG CALLBACK PeerOnFault(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT* context = pointers->ContextRecord;
  const uint32_t fault = Address(pointers->ExceptionRecord->ExceptionAddress);
  WalkBoth(*context, fault, true, true);
  // Go on after the faulting write.
  return scenario::StepPastFault(*context) ? EXCEPTION_CONTINUE_EXECUTION
                                           : EXCEPTION_CONTINUE_SEARCH;
}

void RunScenario(const std::string& name) {
  if (scenario::RunHandling(name)) return;
  if (name == "chain") scenario::RunChain();
  if (name == "recursion") scenario::RunRecursion(6);
  if (name == "callback") scenario::RunCallback();
  if (name == "thread") scenario::RunThread();
  if (name == "exception") {
    runtime::raise_hook = PeerOnRaise;
    scenario::RunThrow();
    runtime::raise_hook = nullptr;
  }
  if (name == "access violation") {
    PVOID handler = AddVectoredExceptionHandler(1, PeerOnFault);
    scenario::RunFault();
    RemoveVectoredExceptionHandler(handler);
  }
}

class StackWalkPeer : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallDebugInfoHooks();
    SymSetOptions(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS);
    ASSERT_TRUE(SymInitialize(GetCurrentProcess(), nullptr, TRUE));
    scenario::capture = CaptureBoth;
  }
  static void TearDownTestSuite() { SymCleanup(GetCurrentProcess()); }
};

TEST_F(StackWalkPeer, EveryTrueFrameInOrderAndAtLeastAsGoodAsStackWalk64) {
  std::printf("%-18s %6s | %-16s | %-16s\n", "scenario", "frames", "ours found/false",
              "StackWalk64 found/false");
  for (const scenario::Expected& expected : scenario::ExpectedFrames("qor.CaptureBoth")) {
    g_capture = {};
    RunScenario(expected.name);
    const Score ours = ScoreFrames(g_capture.ours, expected);
    const Score peer = ScoreFrames(g_capture.peer, expected);
    const int total = static_cast<int>(expected.frames.size());
    std::printf("%-18s %6d | %8d / %-5d | %8d / %-5d\n", expected.name, total, ours.found,
                ours.false_frames, peer.found, peer.false_frames);
    std::printf("  ours: %s\n  StackWalk64: %s\n", Names(g_capture.ours).c_str(),
                Names(g_capture.peer).c_str());
    EXPECT_EQ(ours.found, total) << expected.name;
    EXPECT_EQ(ours.false_frames, 0) << expected.name;
    EXPECT_GE(ours.found - ours.false_frames, peer.found - peer.false_frames) << expected.name;
  }
}

// Time per trace of the main thread: many traces in one run, the median.
TEST_F(StackWalkPeer, TimePerTraceOfTheMainThread) {
  constexpr int kRuns = 25;
  std::vector<double> ours, peer;
  for (int i = 0; i < kRuns; ++i) {
    auto start = std::chrono::steady_clock::now();
    CONTEXT context;
    CAPTURE_CONTEXT(context);
    const std::string trace = TraceStack(false, false, false, context.Eip, false, false,
                                         context.Esp, 0, 0, nullptr, nullptr, nullptr, 0, false,
                                         nullptr, false);
    auto middle = std::chrono::steady_clock::now();
    const std::vector<uint32_t> frames = PeerAddresses(context);
    auto end = std::chrono::steady_clock::now();
    ASSERT_FALSE(trace.empty());
    ASSERT_FALSE(frames.empty());
    ours.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
    peer.push_back(std::chrono::duration<double, std::milli>(end - middle).count());
  }
  const double first_ours = ours.front();
  std::sort(ours.begin(), ours.end());
  std::sort(peer.begin(), peer.end());
  const double ours_median = ours[kRuns / 2], peer_median = peer[kRuns / 2];
  std::printf("time per trace, median of %d: ours %.2f ms (first %.2f ms), StackWalk64 %.2f ms "
              "(addresses only), ratio %.2f\n",
              kRuns, ours_median, first_ours, peer_median, ours_median / peer_median);
}

}  // namespace

// The scenarios' capture point: both walkers on the stack as it is here.
__attribute__((noinline)) void CaptureBoth() {
  CONTEXT context;
  CAPTURE_CONTEXT(context);
  WalkBoth(context, context.Eip, false, false);
}

}  // namespace qor
