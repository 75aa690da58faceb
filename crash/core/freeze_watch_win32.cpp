#include "crash/core/freeze_watch.h"

#include <windows.h>

#include <atomic>

#include "crash/core/freeze_turns.h"
#include "crash/core/loader_lock.h"
#include "crash/core/report_exception.h"
#include "crash/core/settings.h"
#include "crash/core/thread_registry.h"
#include "crash/modules/msg_handler_window.h"

namespace qor {
namespace {

constexpr DWORD kStopWaitMilliseconds = 500;

// Constant-initialised: the core starts the watchdog before the program's
// other static objects are made and stops it after they are gone, so the
// state holds plain handles that Start opens and Stop closes.
struct FreezeWatch {
  HWND probe_window = nullptr;
  uint32_t probe_message = 0;
  HANDLE thread = nullptr;
  std::atomic<uint32_t> thread_id{0};
  HANDLE stop = nullptr;  // signalled: the watchdog ends
  // One manual-reset event for the watchdog's lifetime, signalled while
  // nobody holds it. The hold counter (-1: no hold) and the event change
  // together under `hold_lock`, so a hold and a release that cross never
  // leave the event open while a request is pending.
  HANDLE released = nullptr;
  LONG hold_count = -1;
  CRITICAL_SECTION* hold_lock = nullptr;
  FreezeTurns turns;
};

constinit FreezeWatch watch;

void CloseAndClear(HANDLE& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

// Made once and kept: a request may still be released while the process
// ends.
CRITICAL_SECTION* HoldLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* made = new CRITICAL_SECTION;
    InitializeCriticalSection(made);
    return made;
  }();
  return lock;
}

// Runs on the main thread when it gets to the probe.
void Reply(void*, uint32_t, uintptr_t wparam, intptr_t& result, intptr_t) {
  if (wparam != 0) {
    PostMessageA(reinterpret_cast<HWND>(wparam), WM_NULL, kFreezeReply, kFreezeReply);
  } else {
    PostThreadMessageA(watch.thread_id, WM_NULL, kFreezeReply, kFreezeReply);
  }
  result = kFreezeReply;
}

// Empties the watchdog's queue; true when the main thread's reply was in it.
bool ReplyArrived() {
  bool answered = false;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    answered |= message.hwnd == nullptr && message.message == WM_NULL &&
                message.wParam == kFreezeReply && message.lParam == kFreezeReply;
  }
  return answered;
}

// Waits for `object` or the stop event; false when it is time to stop.
bool WaitUnlessStopped(HANDLE object, DWORD limit = INFINITE) {
  const HANDLE both[] = {watch.stop, object};
  const DWORD result = WaitForMultipleObjects(2, both, FALSE, limit);
  return result != WAIT_OBJECT_0 && result != WAIT_FAILED;
}

void Probe() {
  while (WaitUnlessStopped(watch.released)) {
    PostMessageA(watch.probe_window, watch.probe_message, 0, 0);
    if (WaitForSingleObject(watch.stop, watch.turns.Interval()) != WAIT_TIMEOUT) return;
    if (ReplyArrived()) {
      watch.turns.Answered();
    } else if (watch.turns.Missed()) {
      ReportException(true, 0, 0, nullptr, 0, 0, true);
      watch.turns.Reported();
    }
  }
}

DWORD WINAPI WatchdogLoop(void*) {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue the replies go to
  // With several modules of the process carrying the core, one probes at a
  // time: the others wait here until it ends.
  const ThreadNameBlock* block = ThreadRegistryBlock();
  HANDLE mutex = block ? reinterpret_cast<HANDLE>(uintptr_t{block->WatchdogMutex}) : nullptr;
  if (mutex != nullptr && !WaitUnlessStopped(mutex)) return 0;
  watch.turns.Start(ExceptSettings.FreezeTimeout);
  Probe();
  if (mutex != nullptr) ReleaseMutex(mutex);
  return 0;
}

bool CreateWatchdog() {
  watch.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  watch.released = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  DWORD id = 0;
  if (watch.stop && watch.released) {
    watch.thread = CreateThread(nullptr, 0, WatchdogLoop, nullptr, CREATE_SUSPENDED, &id);
  }
  if (watch.thread == nullptr) {
    CloseAndClear(watch.released);
    CloseAndClear(watch.stop);
    return false;
  }
  watch.thread_id = id;
  RegisterThreadInfo(id, watch.thread, kHiddenThreadName);
  SetThreadPriority(watch.thread, THREAD_PRIORITY_HIGHEST);
  ResumeThread(watch.thread);
  return true;
}

void EndWatchdog() {
  SetEvent(watch.stop);
  // Under the loader lock the thread could not end while we wait.
  if (CurrentThreadOwnsLoaderLock() ||
      WaitForSingleObject(watch.thread, kStopWaitMilliseconds) != WAIT_OBJECT_0) {
    TerminateThread(watch.thread, 0);
  }
  UnregisterThread(watch.thread_id);
  watch.thread_id = 0;
  CloseAndClear(watch.thread);
  CloseAndClear(watch.stop);
}

}  // namespace

void StartFreezeWatch() {
  if (watch.probe_window != nullptr || ExceptSettings.FreezeTimeout <= 0) return;
  watch.hold_lock = HoldLock();
  const uint32_t message = AddMsgHandlerProc(Reply, 0);
  HWND window = message != 0 ? static_cast<HWND>(FindMsgHandlerWindow()) : nullptr;
  if (window == nullptr) return;
  watch.probe_message = message;
  watch.probe_window = window;
  if (!CreateWatchdog()) {
    DeleteMsgHandlerProc(Reply, message);
    watch.probe_window = nullptr;
    watch.probe_message = 0;
  }
}

void StopFreezeWatch() {
  if (watch.probe_window == nullptr) return;
  EndWatchdog();
  EnterCriticalSection(watch.hold_lock);
  watch.hold_count = -1;
  CloseAndClear(watch.released);
  LeaveCriticalSection(watch.hold_lock);
  DeleteMsgHandlerProc(Reply, watch.probe_message);
  watch.probe_message = 0;
  watch.probe_window = nullptr;
}

void HoldFreezeWatch(bool hold) {
  const uint32_t watchdog = watch.thread_id;
  if (watchdog == 0 || watchdog == GetCurrentThreadId()) return;
  EnterCriticalSection(watch.hold_lock);
  if (watch.released != nullptr) {
    if (hold) {
      watch.turns.ClearMisses();
      if (++watch.hold_count == 0) ResetEvent(watch.released);
    } else if (watch.hold_count >= 0) {
      if (--watch.hold_count < 0) SetEvent(watch.released);
      watch.turns.ClearMisses();
    }
  }
  LeaveCriticalSection(watch.hold_lock);
}

void ResetFreezeMisses() { watch.turns.ClearMisses(); }

uint32_t FreezeWatchThreadId() { return watch.thread_id; }

bool PostFreezeProbe(void* dialog) {
  return watch.probe_window != nullptr && dialog != nullptr &&
         PostMessageA(watch.probe_window, watch.probe_message, reinterpret_cast<WPARAM>(dialog),
                      0);
}

}  // namespace qor
