#include "crash/stack/testing/stack_walk_scenarios_win32.h"

#include <windows.h>

#include <cstring>
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

// Where walkers that follow frames lose their way.

// A stack buffer overrun in the innermost frame: Smash's saved frame
// pointer and return address hold garbage while `capture` runs, and are
// put back before it returns.
KEEP void Smash(int x) {
  uint32_t* volatile frame = static_cast<uint32_t*>(__builtin_frame_address(0));
  const uint32_t saved_frame = frame[0], saved_return = frame[1];
  frame[0] = frame[1] = 0x41414141;
  capture();
  frame[0] = saved_frame;
  frame[1] = saved_return;
  sink = x;
}
KEEP int SmashCaller(int x) {
  Smash(x + 1);
  return x * 3 + sink;
}
KEEP void RunSmash() { sink = SmashCaller(sink) + 1; }

// A thunk generated at run time, which no module and no unwind table
// describes, between a caller and the function it forwards to.
namespace {
int (*volatile thunk_target)(int) = nullptr;

class ExecutableBlock {
 public:
  explicit ExecutableBlock(size_t size)
      : memory_(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE)) {}
  ExecutableBlock(const ExecutableBlock&) = delete;
  ExecutableBlock& operator=(const ExecutableBlock&) = delete;
  ~ExecutableBlock() {
    if (memory_) VirtualFree(memory_, 0, MEM_RELEASE);
  }
  uint8_t* get() const { return static_cast<uint8_t*>(memory_); }

 private:
  void* memory_;
};
}  // namespace

KEEP int ThunkTarget(int x) {
  capture();
  return x + sink;
}
KEEP int CallThunk(int x, int (*thunk)(int)) {
  int r = thunk(x + 1);
  return r * 3 + sink;
}
KEEP void RunThunk() {
  ExecutableBlock block(64);
  if (!block.get()) return;
  thunk_target = ThunkTarget;
  // sub esp, 12; mov eax, [esp+16]; mov [esp], eax; call [thunk_target];
  // add esp, 12; ret
  uint8_t code[] = {0x83, 0xEC, 0x0C, 0x8B, 0x44, 0x24, 0x10, 0x89, 0x04, 0x24, 0xFF, 0x15,
                    0,    0,    0,    0,    0x83, 0xC4, 0x0C, 0xC3};
  const auto cell = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&thunk_target));
  std::memcpy(code + 12, &cell, 4);
  std::memcpy(block.get(), code, sizeof code);
  FlushInstructionCache(GetCurrentProcess(), block.get(), sizeof code);
  sink = CallThunk(sink, reinterpret_cast<int (*)(int)>(block.get())) + 1;
}

// A fault with the stack pointer in the middle of a prologue, in code
// without unwind information: two registers pushed, the frame pointer
// still the caller's.
extern "C" int scenario_PrologueFault(int);
asm(".text\n"
    ".globl _scenario_PrologueFault\n"
    ".def _scenario_PrologueFault; .scl 2; .type 32; .endef\n"
    "_scenario_PrologueFault:\n"
    "  push %ebp\n"
    "  push %esi\n"
    "  movl 16, %eax\n"
    "  mov %esp, %ebp\n"
    "  pop %esi\n"
    "  pop %ebp\n"
    "  ret\n");
KEEP int Prologue2(int x) {
  int r = scenario_PrologueFault(x + 1);
  return r * 3 + sink;
}
KEEP int Prologue1(int x) {
  int r = Prologue2(x + 2);
  return r * 5 + sink;
}
KEEP void RunPrologueFault() { sink = Prologue1(sink) + 1; }

std::vector<Expected> HardFrames(const std::string& capture_name) {
  return {
      {"overwritten return address",
       {capture_name, "scenario.Smash", "scenario.SmashCaller", "scenario.RunSmash"}, false},
      {"thunk without unwind information",
       {capture_name, "scenario.ThunkTarget", "scenario.CallThunk", "scenario.RunThunk"}, false},
      {"fault mid-prologue",
       {"scenario_PrologueFault", "scenario.Prologue2", "scenario.Prologue1",
        "scenario.RunPrologueFault"},
       false},
  };
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
