// The handling thread: one reader of an anonymous pipe, so requests are
// processed strictly one after the other.
#include <windows.h>

#include <atomic>

#include "crash/core/crash_server_step.h"
#include "crash/core/loader_lock.h"
#include "crash/core/report_exception.h"
#include "crash/core/thread_registry.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

constexpr DWORD kIdleStopMilliseconds = 500;

// The state is constant data, in place before any constructor runs: the
// core starts the thread before the program's other static objects are
// made, and stops it after they are gone. So it holds plain handles, which
// StartHandlingThread opens and StopHandlingThread closes.
struct HandlingThread {
  HANDLE thread = nullptr;
  HANDLE pipe_read = nullptr;   // the handling thread's end
  HANDLE pipe_write = nullptr;  // the requesters' end
  std::atomic<uint32_t> id{0};
  std::atomic<bool> busy{false};  // inside ProcessRequest
};

constinit HandlingThread handling;

void CloseAndClear(HANDLE& handle) {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

DWORD WINAPI HandlingLoop(void*) {
  // Here, so that the program's start never waits for the network; a
  // request that comes meanwhile waits in the pipe.
  RetryQueuedCrashUploads();
  for (;;) {
    ExceptRequest request = {};
    DWORD read = 0;
    if (!ReadFile(handling.pipe_read, &request, sizeof(request), &read, nullptr)) break;
    if (read != sizeof(request)) continue;
    if (request.DoneEvent == 0) break;
    handling.busy = true;
    ProcessRequest(request);
    handling.busy = false;
    // The event is a duplicate made for this thread: signalled and closed
    // here, while the requester closes its own handle.
    OwnedHandle done(reinterpret_cast<HANDLE>(uintptr_t{request.DoneEvent}));
    SetEvent(done.get());
    PostThreadMessageA(request.ThreadId, WM_NULL, 0, 0);
  }
  return 0;
}

}  // namespace

bool WaitAnsweringSentMessages(void* object, uint32_t limit) {
  HANDLE handle = object;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (limit != INFINITE && elapsed >= limit) return false;
    const DWORD left = limit == INFINITE ? INFINITE : limit - elapsed;
    const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

uint32_t HandlingThreadId() {
  return handling.id;
}

bool WriteRequest(const ExceptRequest& request) {
  DWORD written = 0;
  return handling.pipe_write != nullptr &&
         WriteFile(handling.pipe_write, &request, sizeof(request), &written, nullptr) &&
         written == sizeof(request);
}

bool StartHandlingThread() {
  if (handling.id != 0) return true;
  if (!CreatePipe(&handling.pipe_read, &handling.pipe_write, nullptr, 0)) return false;
  DWORD id = 0;
  handling.thread = CreateThread(nullptr, 0, HandlingLoop, nullptr, CREATE_SUSPENDED, &id);
  if (handling.thread == nullptr) {
    CloseAndClear(handling.pipe_write);
    CloseAndClear(handling.pipe_read);
    return false;
  }
  handling.id = id;
  RegisterThreadInfo(id, handling.thread, "-");
  SetThreadPriority(handling.thread, THREAD_PRIORITY_HIGHEST);
  ResumeThread(handling.thread);
  return true;
}

void StopHandlingThread() {
  const uint32_t id = handling.id;
  if (id == 0) return;
  HANDLE thread = handling.thread;
  ResumeThread(thread);
  // The stop record goes before the write end closes, so that it is read.
  if (!CurrentThreadOwnsLoaderLock()) {
    const ExceptRequest stop = {};
    if (WriteRequest(stop)) {
      bool ended = WaitAnsweringSentMessages(thread, kIdleStopMilliseconds);
      if (!ended && handling.busy) ended = WaitAnsweringSentMessages(thread, INFINITE);
      if (!ended) TerminateThread(thread, 0);
    } else {
      TerminateThread(thread, 0);
    }
  } else {
    TerminateThread(thread, 0);
  }
  CloseAndClear(handling.pipe_write);
  CloseAndClear(handling.thread);
  CloseAndClear(handling.pipe_read);
  handling.id = 0;
  UnregisterThread(id);
}

}  // namespace qor
