#include "crash/stack/testing/stack_walk_scenarios_win32.h"

#include <windows.h>

#include <stdexcept>

#include "crash/disasm/disasm.h"
#include "crash/modules/safe_read.h"

// Each function does some work after its call, so the compiler can neither
// inline it nor turn the call into a jump.
#define KEEP __attribute__((noinline))

namespace scenario {

void (*capture)() = nullptr;
CallLines lines;

namespace {
volatile int sink = 0;
}  // namespace

KEEP int Chain5(int x) {
  lines.chain[5] = __LINE__; capture();
  return x + sink;
}
KEEP int Chain4(int x) {
  lines.chain[4] = __LINE__; int r = Chain5(x + 1);
  return r * 3 + sink;
}
KEEP int Chain3(int x) {
  lines.chain[3] = __LINE__; int r = Chain4(x + 2);
  return r * 5 + sink;
}
KEEP int Chain2(int x) {
  lines.chain[2] = __LINE__; int r = Chain3(x + 3);
  return r * 7 + sink;
}
KEEP int Chain1(int x) {
  lines.chain[1] = __LINE__; int r = Chain2(x + 4);
  return r * 11 + sink;
}
KEEP void RunChain() { sink = Chain1(sink) + 1; }

namespace {
__attribute__((always_inline)) inline void InlinedStep(int x) {
  lines.inlined_capture = __LINE__; capture();
  sink = x;
}
}  // namespace

KEEP int InlinedHost(int x) {
  lines.inlined_call = __LINE__; InlinedStep(x + 1);
  return x * 3 + sink;
}
KEEP void RunInlined() { sink = InlinedHost(sink) + 1; }

KEEP int Recurse(int depth) {
  if (depth == 0) {
    capture();
    return sink;
  }
  int r = Recurse(depth - 1);
  return r + depth + sink;
}
KEEP void RunRecursion(int depth) { sink = Recurse(depth) + 1; }

KEEP BOOL CALLBACK EnumCallback(HWND, LPARAM) {
  capture();
  return FALSE;  // one window is enough
}
KEEP void RunCallback() {
  // A window of our own, so that there is one to enumerate.
  HWND window = CreateWindowExA(0, "STATIC", "scenario", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  EnumWindows(EnumCallback, 0);
  if (window) DestroyWindow(window);
  sink = sink + 1;
}

KEEP int Work2(int x) {
  capture();
  return x + sink;
}
KEEP int Work1(int x) {
  int r = Work2(x + 1);
  return r * 3 + sink;
}
KEEP DWORD WINAPI ThreadMain(void*) { return static_cast<DWORD>(Work1(sink) + 1); }
KEEP void RunThread() {
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, nullptr, 0, nullptr);
  if (!thread) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

KEEP int Throw5(int x) {
  if (sink == 0) {
    lines.throw_line = __LINE__; throw std::runtime_error("scenario");
  }
  return x + sink;
}
KEEP int Throw4(int x) { int r = Throw5(x + 1); return r * 3 + sink; }
KEEP int Throw3(int x) { int r = Throw4(x + 2); return r * 5 + sink; }
KEEP int Throw2(int x) { int r = Throw3(x + 3); return r * 7 + sink; }
KEEP int Throw1(int x) { int r = Throw2(x + 4); return r * 11 + sink; }
KEEP void RunThrow() {
  const int saved = sink;
  sink = 0;
  try {
    sink = Throw1(sink);
  } catch (const std::exception&) {
  }
  sink = saved + 1;
}

namespace {
// An address that is never mapped, behind a volatile pointer so that the
// write is really made.
int* volatile unmapped = reinterpret_cast<int*>(16);
}  // namespace

KEEP int Fault3(int x) {
  lines.fault_line = __LINE__; *unmapped = x;
  return x + sink;
}
KEEP int Fault2(int x) { int r = Fault3(x + 1); return r * 3 + sink; }
KEEP int Fault1(int x) { int r = Fault2(x + 2); return r * 5 + sink; }
KEEP void RunFault() { sink = Fault1(sink) + 1; }

// Traces taken inside exception handling: in a catch block, and in a
// destructor that runs while an exception passes through its function.
// GCC moves such code into the function's cold part at full optimisation,
// keeps it in the function's own section when told not to split the
// function, and always for templates and inline functions.
namespace {
KEEP void Throwing(int x) {
  if (sink == 0) throw std::runtime_error("handled");
  sink = x;
}
}  // namespace

Guard::~Guard() {
  capture();
  sink = sink + 1;
}

#define CATCHING_BODY                 \
  try {                               \
    Throwing(x);                      \
  } catch (const std::exception&) {   \
    capture();                        \
    return sink + 1;                  \
  }                                   \
  return x + sink;

#define UNWINDING_BODY \
  Guard guard;         \
  Throwing(x);         \
  return x + sink;

#define NOT_SPLIT __attribute__((optimize("no-reorder-blocks-and-partition")))

KEEP int CatchCold(int x) { CATCHING_BODY }
KEEP NOT_SPLIT int CatchInSection(int x) { CATCHING_BODY }
template <int N> KEEP int CatchTemplate(int x) { CATCHING_BODY }
inline KEEP int CatchInline(int x) { CATCHING_BODY }
KEEP int UnwindCold(int x) { UNWINDING_BODY }
KEEP NOT_SPLIT int UnwindInSection(int x) { UNWINDING_BODY }
template <int N> KEEP int UnwindTemplate(int x) { UNWINDING_BODY }
inline KEEP int UnwindInline(int x) { UNWINDING_BODY }

// Each handling function has a caller and a runner that catches whatever
// passes, so the true frames go down to the runner.
#define HANDLING_SCENARIO(Name, Function)                \
  KEEP int Call##Name(int x) {                           \
    int r = Function(x + 1);                             \
    return r * 3 + sink;                                 \
  }                                                      \
  KEEP void Run##Name() {                                \
    const int saved = sink;                              \
    sink = 0;                                            \
    try {                                                \
      sink = Call##Name(sink);                           \
    } catch (const std::exception&) {                    \
    }                                                    \
    sink = saved + 1;                                    \
  }

HANDLING_SCENARIO(CatchCold, CatchCold)
HANDLING_SCENARIO(CatchInSection, CatchInSection)
HANDLING_SCENARIO(CatchTemplate, CatchTemplate<1>)
HANDLING_SCENARIO(CatchInline, CatchInline)
HANDLING_SCENARIO(UnwindCold, UnwindCold)
HANDLING_SCENARIO(UnwindInSection, UnwindInSection)
HANDLING_SCENARIO(UnwindTemplate, UnwindTemplate<1>)
HANDLING_SCENARIO(UnwindInline, UnwindInline)

namespace {
struct Handling {
  const char* scenario;
  void (*run)();
  const char* function;  // readable name of the function that handles
  const char* name;      // its name in the source, for the caller and runner
  bool destructor;
};

const Handling kHandling[] = {
    {"catch in cold part", RunCatchCold, "scenario.CatchCold", "CatchCold", false},
    {"catch in own section", RunCatchInSection, "scenario.CatchInSection", "CatchInSection", false},
    {"catch in template", RunCatchTemplate, "scenario.CatchTemplate<1>", "CatchTemplate", false},
    {"catch in inline function", RunCatchInline, "scenario.CatchInline", "CatchInline", false},
    {"destructor in cold part", RunUnwindCold, "scenario.UnwindCold", "UnwindCold", true},
    {"destructor in own section", RunUnwindInSection, "scenario.UnwindInSection", "UnwindInSection", true},
    {"destructor in template", RunUnwindTemplate, "scenario.UnwindTemplate<1>", "UnwindTemplate", true},
    {"destructor in inline function", RunUnwindInline, "scenario.UnwindInline", "UnwindInline", true},
};
}  // namespace

bool RunHandling(const std::string& name) {
  for (const Handling& h : kHandling) {
    if (name == h.scenario) {
      h.run();
      return true;
    }
  }
  return false;
}

bool StepPastFault(CONTEXT& context) {
  qor::CodeInfo instruction;
  const qor::LiveMemory memory;
  if (!qor::DecodeCode(memory, context.Eip, instruction)) return false;
  context.Eip = instruction.next;
  return true;
}

std::vector<Expected> ExpectedFrames(const std::string& capture_name) {
  std::vector<Expected> expected = {
      {"chain",
       {capture_name, "scenario.Chain5", "scenario.Chain4", "scenario.Chain3", "scenario.Chain2",
        "scenario.Chain1", "scenario.RunChain"},
       false},
      // The repeated calls of a recursion are shown once.
      {"recursion",
       {capture_name, "scenario.Recurse", "scenario.Recurse", "scenario.RunRecursion"},
       false},
      {"callback", {capture_name, "scenario.EnumCallback", "scenario.RunCallback"}, true},
      {"thread", {capture_name, "scenario.Work2", "scenario.Work1", "scenario.ThreadMain"}, true},
      {"exception",
       {"scenario.Throw5", "scenario.Throw4", "scenario.Throw3", "scenario.Throw2",
        "scenario.Throw1", "scenario.RunThrow"},
       false},
      {"access violation",
       {"scenario.Fault3", "scenario.Fault2", "scenario.Fault1", "scenario.RunFault"}, false},
  };
  for (const Handling& h : kHandling) {
    std::vector<std::string> frames{capture_name};
    if (h.destructor) frames.push_back("scenario.Guard.~Guard");
    frames.push_back(h.function);
    frames.push_back(std::string("scenario.Call") + h.name);
    frames.push_back(std::string("scenario.Run") + h.name);
    expected.push_back({h.scenario, frames, false});
  }
  return expected;
}

}  // namespace scenario
