#include "crash/core/interception.h"

#include <windows.h>

#include <csignal>
#include <exception>

#include "crash/attach/qor_exception.h"
#include "crash/core/code_patch.h"
#include "crash/core/except_object.h"
#include "crash/core/os_exception_text.h"
#include "crash/core/report_exception.h"
#include "crash/core/settings.h"
#include "crash/core/thread_registry.h"
#include "crash/core/web_server.h"

namespace qor {
namespace {

constexpr DWORD kStackOverflow = 0xC00000FD;
constexpr DWORD kAccessViolation = 0xC0000005;
// Stack kept for the failing thread's hand-over after a stack overflow.
constexpr ULONG kGuaranteedStack = 16 * 1024;

LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;
std::terminate_handler previous_terminate = nullptr;
using SignalHandler = void (*)(int);
SignalHandler previous_abort = SIG_DFL;
bool installed = false;

// Made at start-up: after a stack overflow there is no stack to build it.
QorException* stack_overflow_object = nullptr;

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

bool OnMainThread() {
  return GetCurrentThreadId() == MainThreadId();
}

// Ends a thread other than the main one once its failure was reported.
void EndThisThread() {
  UnregisterThread(GetCurrentThreadId());
  ExitThread(0);
}

// A stack overflow leaves a page of stack (more where the guarantee was
// set): the failing thread writes the prepared request and waits, nothing
// else. The stack walk starts where the fault happened.
void HandOverStackOverflow(const CONTEXT& context, uint32_t address) {
  ExceptRequest request = {};
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE theirs = nullptr;
  if (done == nullptr) return;
  if (DuplicateHandle(GetCurrentProcess(), done, GetCurrentProcess(), &theirs, 0, FALSE,
                      DUPLICATE_SAME_ACCESS)) {
    request.DoneEvent = Address(theirs);
    request.ThreadId = GetCurrentThreadId();
    request.ExceptObject = Address(stack_overflow_object);
    request.ExceptAddress = address;
    request.CanContinue = OnMainThread() ? 0 : 1;
    request.StackPointer = context.Esp;
    request.FramePointer = context.Ebp;
    if (WriteRequest(request)) {
      WaitForSingleObject(done, INFINITE);
    } else {
      CloseHandle(theirs);
    }
  }
  CloseHandle(done);
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const uint32_t address = Address(record.ExceptionAddress);
  if (record.ExceptionCode == kStackOverflow) {
    HandOverStackOverflow(*pointers->ContextRecord, address);
  } else {
    QorException object(record.ExceptionCode == kAccessViolation
                            ? AccessViolationText(record)
                            : OsExceptionText(record.ExceptionCode));
    ReportException(false, Address(&object), address, nullptr, pointers->ContextRecord->Ebp,
                    pointers->ContextRecord->Esp, !OnMainThread());
  }
  if (!OnMainThread()) EndThisThread();
  // The main thread cannot go on: its report closed the process unless a
  // handler took the close over; then the system ends it.
  return EXCEPTION_EXECUTE_HANDLER;
}

// A C++ exception that nothing catches.
void TerminateHandler() {
  const bool main = OnMainThread();
  ReportException(false, 0, 0, nullptr, 0, 0, !main);
  if (!main) EndThisThread();
  CloseProcessNow();
}

// abort() and the C++ runtime's fatal paths that end in it.
void AbortHandler(int) {
  QorException object(kRuntimeErrorText);
  ReportException(false, Address(&object), Address(__builtin_return_address(0)), nullptr, 0, 0,
                  false);
  CloseProcessNow();
}

// The GUI library's application-level handler, called inside the catch
// block around an event dispatch (a member function: the object comes in
// ECX).
void __attribute__((thiscall)) GuiHandleException(void*) {
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  ReportException(false, 0, 0, nullptr, 0, 0, true);
}

// The GUI library's show-exception routine, which has only the message.
void __attribute__((thiscall)) GuiShowException(void*, const std::string& message) {
  QorException object(message);
  ReportException(false, Address(&object), 0, nullptr, 0, 0, true);
}

void PatchEntry(const void* target, const void* replacement) {
  if (target != nullptr) PatchEntryJump(Address(target), Address(replacement));
}

}  // namespace

void GuaranteeThreadStack() {
  using SetGuarantee = BOOL(WINAPI*)(PULONG);
  const auto set = reinterpret_cast<SetGuarantee>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadStackGuarantee")));
  ULONG size = kGuaranteedStack;
  if (set) set(&size);
}

void ReportEscapedException() {
  ReportException(false, 0, 0, nullptr, 0, 0, true);
}

void InstallInterception() {
  if (installed) return;
  installed = true;
  const THookTargets& targets = ExceptSettings.HookTargets;
  stack_overflow_object = new QorException(OsExceptionText(kStackOverflow));
  GuaranteeThreadStack();
  previous_filter = SetUnhandledExceptionFilter(UnhandledFilter);
  previous_terminate = std::set_terminate(TerminateHandler);
  PatchEntry(targets.GuiHandleException, reinterpret_cast<const void*>(GuiHandleException));
  PatchEntry(targets.GuiShowException, reinterpret_cast<const void*>(GuiShowException));
  InstallWebServerHooks();
  previous_abort = std::signal(SIGABRT, AbortHandler);
}

void RemoveInterception() {
  if (!installed) return;
  installed = false;
  RemoveWebServerHooks();
  std::signal(SIGABRT, previous_abort);
  std::set_terminate(previous_terminate);
  SetUnhandledExceptionFilter(previous_filter);
  delete stack_overflow_object;
  stack_overflow_object = nullptr;
}

}  // namespace qor
