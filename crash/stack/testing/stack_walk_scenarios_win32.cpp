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

bool StepPastFault(CONTEXT& context) {
  qor::CodeInfo instruction;
  const qor::LiveMemory memory;
  if (!qor::DecodeCode(memory, context.Eip, instruction)) return false;
  context.Eip = instruction.next;
  return true;
}

std::vector<Expected> ExpectedFrames(const std::string& capture_name) {
  return {
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
}

}  // namespace scenario
