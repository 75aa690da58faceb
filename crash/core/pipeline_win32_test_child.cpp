// A program that carries the running core and fails in the way its first
// argument names; what the handlers and the pipeline's hooks see goes to
// standard output, one line each, for pipeline_win32_test.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "crash/core/call_handlers.h"
#include "crash/core/except_object.h"
#include "crash/core/handler_lists.h"
#include "crash/core/pipeline_hooks.h"
#include "crash/core/report_exception.h"
#include "crash/core/settings.h"
#include "crash/core/thread_registry.h"
#include "gui/application.h"
#include "runtime/exceptions.h"
#include "runtime/thread.h"

using HandleExceptionCode = void (*)(gui::Application*);
using ShowExceptionCode = void (*)(gui::Application*, const std::string&);

namespace qor {
TExceptSettings ExceptSettings{
    .HookTargets = {
        .GuiHandleException =
            reinterpret_cast<const void*>(HandleExceptionCode(&gui::Application::HandleException)),
        .GuiShowException =
            reinterpret_cast<const void*>(ShowExceptionCode(&gui::Application::ShowException)),
    },
    // The scenarios check the composed text as it is.
    .Minidump = MinidumpSize::kNone};
}  // namespace qor

namespace {

void Say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

std::string Where() {
  const uint32_t self = GetCurrentThreadId();
  if (self == qor::HandlingThreadId()) return "handling";
  return self == qor::MainThreadId() ? "main" : "other";
}

// Phase 1 says what the pipeline produced.
void SeeReport(bool frozen, uint32_t object, uint32_t address, uint32_t thread_id,
               std::string& report, qor::TScreenshot&, bool& can_continue, bool&) {
  Say("phase1 class=" + qor::ExceptClassText(object) +
      " message=" + qor::ExceptMessageText(object) + " continue=" + std::to_string(can_continue) +
      " thread=" + (thread_id == qor::MainThreadId() ? "main" : "other") +
      " address=" + std::to_string(address != 0) + " report=" + report + " on=" + Where());
}

void Compose(bool, uint32_t object, uint32_t, std::string& report, uint32_t, bool, uint32_t,
             uint32_t, uint32_t thread_id) {
  Say("compose begin " + std::to_string(thread_id));
  report = "report of " + qor::ExceptClassText(object);
  Say("compose end " + std::to_string(thread_id));
}

// A composer that faults half-way.
void FaultingCompose(bool, uint32_t, uint32_t, std::string& report, uint32_t, bool, uint32_t,
                     uint32_t, uint32_t) {
  Say("compose faults");
  report = "half";
  *static_cast<volatile int*>(nullptr) = 1;
}

void Dialog(bool, uint32_t, uint32_t, uint32_t, bool&, qor::TScreenshot&, std::string& report) {
  Say("dialog " + report);
}

[[noreturn]] void Close() {
  Say("close");
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

template <typename Failure>
void GuiFailure(const Failure& failure) {
  try {
    throw failure;
  } catch (...) {
    gui::Application::Instance().HandleException();
  }
}

DWORD WINAPI ThrowingRoutine(void* text) {
  throw runtime::Exception(static_cast<const char*>(text));
}

DWORD WINAPI FaultingRoutine(void*) {
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}

void RunThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
  HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

class ThrowingThread : public runtime::TThread {
 protected:
  void Execute() override { throw runtime::EOSError("from Execute", 5); }
};

// Deeper than any stack: the limit only keeps the compiler from calling the
// recursion endless.
int Overflow(int depth) {
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  if (depth > (1 << 30)) return pad[0];
  return Overflow(depth + 1) + pad[0];
}

DWORD WINAPI OverflowingRoutine(void*) {
  return Overflow(0);
}

// Eight threads wait for one event and then fail together.
DWORD WINAPI OneOfEight(void* start) {
  WaitForSingleObject(static_cast<HANDLE>(start), INFINITE);
  throw runtime::Exception("one of eight");
}

void EightThreads() {
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[8];
  for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, OneOfEight, start, 0, nullptr);
  SetEvent(start);
  WaitForMultipleObjects(8, threads, TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(start);
}

void PostQuitDuringReport(bool, uint32_t, uint32_t, uint32_t thread_id, std::string&,
                          qor::TScreenshot&, bool&, bool&) {
  PostThreadMessageA(thread_id, WM_QUIT, 42, 0);
}

int QuitWhileWaiting() {
  qor::RegisterExceptHandler(PostQuitDuringReport, qor::kOnHandlingThread, 0);
  GuiFailure(runtime::Exception("quit while waiting"));
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  Say("quit " + std::to_string(message.wParam));
  return static_cast<int>(message.wParam);
}

void SaySync(const char* name) {
  Say(std::string(name) + " on=" + Where());
}
void Sync1(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&, bool&) {
  SaySync("sync1");
}
void Sync2(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&, bool&) {
  SaySync("sync2");
}

DWORD WINAPI ReportFrozen(void*) {
  qor::ReportException(true, 0, 0, nullptr, 0, 0, true);
  return 0;
}

void StopsInPhase2(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&,
                   bool& handled) {
  handled = true;
}

void ThrowsInPhase1(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&,
                    bool&) {
  throw runtime::Exception("inside a handler");
}

void Hidden(uint32_t object, uint32_t, uint32_t, const std::string& report) {
  Say("hidden " + qor::ExceptMessageText(object) + " report=" + report);
}

// A thread with a message loop that counts its turns.
std::atomic<int> turns{0};

// Out of line, so that every turn reads the import table afresh (a loop
// would keep the routine's address in a register).
__attribute__((noinline)) void PeekOnce() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
}

DWORD WINAPI CountingLoop(void* stop) {
  while (WaitForSingleObject(static_cast<HANDLE>(stop), 0) == WAIT_TIMEOUT) {
    PeekOnce();
    ++turns;
    Sleep(1);
  }
  return 0;
}

void WatchPausedLoop(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&,
                     bool&) {
  const int before = turns;
  Sleep(200);
  Say("paused turns=" + std::to_string(turns - before));
}

int PausedThreads() {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, CountingLoop, stop, 0, nullptr);
  while (turns < 5) Sleep(1);
  qor::RegisterExceptHandler(WatchPausedLoop, qor::kOnHandlingThread, 1);
  GuiFailure(runtime::Exception("pause"));
  const int after = turns;
  while (turns < after + 5) Sleep(1);
  Say("resumed");
  SetEvent(stop);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(stop);
  return 0;
}

// The idle handling thread does not answer the stop record when the
// program ends: it is suspended twice, and the shut-down's one resume (for
// a thread that a pause left suspended) does not wake it.
int EndWhileStuck() {
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, qor::HandlingThreadId());
  if (thread == nullptr || SuspendThread(thread) == static_cast<DWORD>(-1) ||
      SuspendThread(thread) == static_cast<DWORD>(-1)) {
    Say("cannot suspend the handling thread");
    return 3;
  }
  CloseHandle(thread);
  Say("handling thread suspended");
  return 0;
}

// The handling thread is still busy with a report when the program ends.
HANDLE handler_entered = nullptr;
void SlowHandler(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&,
                 bool&) {
  SetEvent(handler_entered);
  Sleep(1500);  // work that outlasts the shut-down's 500 ms for an idle thread
  Say("slow handler done");
}

DWORD WINAPI ReportAndWait(void*) {
  qor::ReportException(false, 0, 0, nullptr, 0, 0, true);
  return 0;
}

int EndWhileBusy() {
  handler_entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  qor::RegisterExceptHandler(SlowHandler, qor::kOnHandlingThread, 0);
  CloseHandle(CreateThread(nullptr, 0, ReportAndWait, nullptr, 0, nullptr));
  WaitForSingleObject(handler_entered, INFINITE);
  Say("main ends");
  return 0;
}

}  // namespace

// Called by a library's start-up, under the loader lock.
extern "C" __declspec(dllexport) void ReportFromLibraryStart() {
  try {
    throw runtime::Exception("in a library's start-up");
  } catch (...) {
    qor::ReportException(false, 0, 0, nullptr, 0, 0, true);
  }
}

namespace {

// Counts the messages that other threads send to the main thread's
// message-handler window, where the core asks for main-thread handlers.
int sent_to_handler_window = 0;
LRESULT CALLBACK CountSent(int code, WPARAM wparam, LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  char name[64] = {};
  GetClassNameA(sent->hwnd, name, sizeof name);
  if (code == HC_ACTION && std::string(name).rfind("qorToolsMsgHandlerWindow", 0) == 0 &&
      sent->message >= WM_USER) {
    ++sent_to_handler_window;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void CountSentMessages(bool with_main_thread_handler) {
  if (with_main_thread_handler) {
    qor::RegisterExceptHandler(Sync1, qor::kOnMainThreadOnly, 1);
  } else {
    qor::UnregisterExceptHandler(SeeReport, 1);
  }
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, CountSent, nullptr, GetCurrentThreadId());
  GuiFailure(runtime::Exception("count"));
  UnhookWindowsHookEx(hook);
  Say("sent=" + std::to_string(sent_to_handler_window));
}

int Scenario(const std::string& name) {
  if (name == "gui") {
    GuiFailure(runtime::Exception("in an event handler"));
  } else if (name == "gui_show") {
    gui::Application::Instance().ShowException("shown message");
  } else if (name == "thread_routine") {
    RunThread(ThrowingRoutine, const_cast<char*>("from a thread routine"));
  } else if (name == "thread_object") {
    ThrowingThread thread;
    thread.Start();
    thread.WaitFor();
  } else if (name == "av_main") {
    FaultingRoutine(nullptr);
  } else if (name == "av_thread") {
    RunThread(FaultingRoutine, nullptr);
  } else if (name == "stack_overflow") {
    return Overflow(0);
  } else if (name == "stack_overflow_thread") {
    RunThread(OverflowingRoutine, nullptr);
  } else if (name == "uncaught") {
    throw runtime::Exception("nobody catches this");
  } else if (name == "abort") {
    std::abort();
  } else if (name == "divide") {
    // Both operands unknown: 1 / x would become a comparison.
    volatile int zero = 0;
    volatile int dividend = 7;
    return dividend / zero;
  } else if (name == "abort_silent") {
    GuiFailure(runtime::EAbort("silent"));
  } else if (name == "abort_fatal") {
    throw runtime::EAbort("silent and fatal");
  } else if (name == "handler_throws") {
    qor::RegisterExceptHandler(ThrowsInPhase1, qor::kOnHandlingThread, 1);
    GuiFailure(runtime::Exception("first"));
  } else if (name == "compose_faults") {
    qor::CorePipelineHooks().compose_bug_report = FaultingCompose;
    GuiFailure(runtime::Exception("composer faults"));
  } else if (name == "ignored") {
    qor::ExceptSettings.IgnoreList = "Other, runtime.EOSError";
    GuiFailure(runtime::EOSError("ignored class", 5));
  } else if (name == "eight") {
    EightThreads();
  } else if (name == "quit") {
    return QuitWhileWaiting();
  } else if (name == "frozen") {
    qor::RegisterExceptHandler(Sync1, qor::kOnMainThreadOnly, 1);
    qor::RegisterExceptHandler(Sync2, qor::kOnMainThreadIfReachable, 1);
    RunThread(ReportFrozen, nullptr);
  } else if (name == "main_handlers") {
    qor::RegisterExceptHandler(Sync1, qor::kOnMainThreadOnly, 1);
    GuiFailure(runtime::Exception("main handlers"));
  } else if (name == "handles") {
    // Each request's event and its duplicate are closed by their owners.
    GuiFailure(runtime::Exception("first"));
    DWORD before = 0;
    DWORD after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    for (int i = 0; i < 5; ++i) GuiFailure(runtime::Exception("again"));
    RunThread(ThrowingRoutine, const_cast<char*>("from a thread"));
    GetProcessHandleCount(GetCurrentProcess(), &after);
    Say("handles grew by " + std::to_string(static_cast<int>(after - before)));
  } else if (name == "library_start") {
    HMODULE library = LoadLibraryA("qor_report_in_library_start.dll");
    if (library) FreeLibrary(library);
  } else if (name == "sent_without_handlers") {
    CountSentMessages(false);
  } else if (name == "sent_with_handlers") {
    CountSentMessages(true);
  } else if (name == "phase2") {
    qor::RegisterExceptHandler(StopsInPhase2, qor::kOnHandlingThread, 2);
    GuiFailure(runtime::Exception("phase two"));
  } else if (name == "hidden") {
    qor::RegisterHiddenHandler(Hidden, qor::kOnHandlingThread);
    try {
      throw runtime::Exception("caught quietly");
    } catch (const runtime::Exception&) {
    }
    GuiFailure(runtime::Exception("reported"));
    GuiFailure(std::runtime_error("reported, with no message to mark"));
  } else if (name == "end_while_busy") {
    return EndWhileBusy();
  } else if (name == "end_while_stuck") {
    return EndWhileStuck();
  } else if (name == "paused") {
    return PausedThreads();
  } else {
    Say("unknown scenario " + name);
    return 3;
  }
  Say("continued");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qor::PipelineHooks& hooks = qor::CorePipelineHooks();
  hooks.compose_bug_report = Compose;
  hooks.run_except_box = Dialog;
  hooks.close_process = Close;
  qor::RegisterExceptHandler(SeeReport, qor::kOnHandlingThread, 1);
  return Scenario(argc > 1 ? argv[1] : "");
}
