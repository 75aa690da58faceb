#include "crash/core/report_exception.h"

#include <windows.h>

#include <cstring>
#include <exception>

#include "crash/core/class_chain.h"
#include "crash/core/except_address.h"
#include "crash/core/except_object.h"
#include "crash/core/freeze_watch.h"
#include "crash/core/handler_lists.h"
#include "crash/core/loader_lock.h"
#include "crash/core/report_lock.h"
#include "crash/core/thread_registry.h"
#include "crash/core/win_handle.h"
#include "crash/debuginfo/debug_info_live.h"
#include "crash/disasm/function_listing_win32.h"
#include "crash/modules/guarded_call.h"
#include "crash/modules/safe_read.h"
#include "runtime/raise.h"

namespace qor {
namespace {

uint32_t StackPointer() {
  uint32_t esp = 0;
  asm volatile("movl %%esp, %0" : "=r"(esp));
  return esp;
}

// The object of the exception this thread is handling: what an
// exception_ptr holds is the thrown object itself.
uint32_t CurrentExceptionObject() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return 0;
  void* object = nullptr;
  static_assert(sizeof(current) == sizeof(object));
  std::memcpy(&object, &current, sizeof(object));
  return ObjectAddress(object);
}

// Dispatches messages until `done` is signalled. A quit message is posted
// again for the program's own loop, and from then on only messages sent by
// other threads are answered: the caller's exception object must live
// until the report is done.
void PumpUntil(HANDLE done) {
  while (WaitForSingleObject(done, 0) == WAIT_TIMEOUT) {
    MSG message;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));
      WaitAnsweringSentMessages(done, INFINITE);
      return;
    }
    if (got == -1) {
      WaitForSingleObject(done, INFINITE);
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Hands the request to the handling thread and waits until it is done.
void HandOver(ExceptRequest& request) {
  const OwnedHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  HANDLE theirs = nullptr;
  if (!done || !DuplicateHandle(GetCurrentProcess(), done.get(), GetCurrentProcess(), &theirs, 0,
                                FALSE, DUPLICATE_SAME_ACCESS)) {
    return;
  }
  request.DoneEvent = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(theirs));
  if (!WriteRequest(request)) {
    CloseHandle(theirs);  // never reached the handling thread
    return;
  }
  if (request.ThreadId == MainThreadId()) {
    PumpUntil(done.get());
  } else {
    WaitForSingleObject(done.get(), INFINITE);
  }
}

// The address moved to the instruction it belongs to, in the function that
// the debug information names for it.
uint32_t CorrectedAddress(uint32_t address) {
  AddressInfo info;
  if (!LiveAddressInfo(address, info) || info.public_address == 0) return address;
  const LiveMemory memory;
  TFunctionInfo function;
  if (!ParseFunction(info.public_address, memory, OwnRoutines(), function)) return address;
  return CorrectedExceptAddress(function, memory, address);
}

thread_local uint32_t last_reported_object = 0;

void MarkReported(uint32_t object) {
  last_reported_object = object;
  if (object == 0 || !HasHandlers(kHiddenHandlers)) return;
  if (!IsClassOrDescendant(object, kQorExceptionClass) &&
      !IsClassOrDescendant(object, kExceptionClass)) {
    return;
  }
  Guarded(
      [&] { ReplaceObjectMessage(reinterpret_cast<void*>(uintptr_t{object}), ReportedMarker); });
}

}  // namespace

uint32_t LastReportedObject() {
  return last_reported_object;
}

void ResolveExceptParams(uint32_t& object, uint32_t& address) {
  if (object == 0) {
    try {
      object = CurrentExceptionObject();
      if (object != 0 && address == 0) address = runtime::LastRaise().address;
    } catch (...) {
      object = 0;
    }
  }
  if (object != 0 && !IsPlausibleObject(object)) object = 0;
  if (address == 0 || (object != 0 && IsClassOrDescendant(object, kAbortClass))) return;
  // The debug-information cache grows here, on the failing thread: not
  // while a report is composed.
  const ReportLock lock;
  try {
    Guarded([&] { address = CorrectedAddress(address); });
  } catch (...) {
  }
}

void ReportException(bool frozen, uint32_t object, uint32_t address, std::string* report_out,
                     uint32_t frame_pointer, uint32_t stack_pointer, bool can_continue) {
  try {
    const uint32_t self = GetCurrentThreadId();
    if (self == HandlingThreadId()) return;
    if (HandlersOnMainThread && self == MainThreadId()) return;
    ResolveExceptParams(object, address);
    if (object != 0 && IsClassOrDescendant(object, kAbortClass)) {
      if (!can_continue) CloseProcessNow();
      return;
    }
    ExceptRequest request = {};
    request.ThreadId = self;
    request.Frozen = frozen ? 1 : 0;
    request.ExceptObject = object;
    request.ExceptAddress = address;
    request.CanContinue = can_continue ? 1 : 0;
    request.StackPointer = stack_pointer != 0 ? stack_pointer : StackPointer();
    request.FramePointer =
        frame_pointer != 0 ? frame_pointer : ObjectAddress(__builtin_frame_address(0));
    request.ReportOut = ObjectAddress(report_out);
    // Under the loader lock the handling thread could not finish (it would
    // wait for the lock itself): the request is processed right here.
    {
      const FreezeWatchHold hold;  // a pending request is no freeze
      if (CurrentThreadOwnsLoaderLock()) {
        ProcessRequest(request);
      } else {
        HandOver(request);
      }
    }
    MarkReported(object);
  } catch (...) {
    // The failing thread goes on as if the report had been shown.
  }
}

}  // namespace qor
