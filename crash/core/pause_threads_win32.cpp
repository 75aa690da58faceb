// Keeping the program's threads still while a request is handled: they are
// never suspended, they wait at their next message retrieval, where they
// hold no lock of their own.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "crash/core/call_handlers.h"
#include "crash/core/import_hooks.h"
#include "crash/core/thread_list.h"
#include "crash/core/thread_registry.h"

// The import library's thunks of the hooked routines in this module.
extern "C" void GetMessageAThunk() __asm__("_GetMessageA@16");
extern "C" void GetMessageWThunk() __asm__("_GetMessageW@16");
extern "C" void PeekMessageAThunk() __asm__("_PeekMessageA@20");
extern "C" void PeekMessageWThunk() __asm__("_PeekMessageW@20");

namespace qor {

void PostHandlerCallProbe();  // call_handlers_win32.cpp

namespace {

// The pause state. The lock exists from the first pause to shut-down.
struct PauseState {
  CRITICAL_SECTION lock = {};
  bool lock_made = false;
  HANDLE main_event = nullptr;   // manual reset; signalled: the main thread runs
  HANDLE other_event = nullptr;  // the same for the listed threads
  std::vector<uint32_t> paused;  // ids of the other threads to pause
};

constinit PauseState pause;

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

using GetMessageFn = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT);
using PeekMessageFn = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT, UINT);

// What the hooks record (0 while unhooked), and what the replacements
// call: kept after unhooking, so that a thread still inside a replacement
// (one that was paused until shut-down) reaches the system.
uint32_t real_get_message_a = 0;
uint32_t real_get_message_w = 0;
uint32_t real_peek_message_a = 0;
uint32_t real_peek_message_w = 0;
uint32_t target_get_message_a = 0;
uint32_t target_get_message_w = 0;
uint32_t target_peek_message_a = 0;
uint32_t target_peek_message_w = 0;

BOOL WINAPI GetMessageAHook(LPMSG message, HWND window, UINT first, UINT last) {
  PauseAtMessageLoop();
  return reinterpret_cast<GetMessageFn>(uintptr_t{target_get_message_a})(message, window, first,
                                                                         last);
}
BOOL WINAPI GetMessageWHook(LPMSG message, HWND window, UINT first, UINT last) {
  PauseAtMessageLoop();
  return reinterpret_cast<GetMessageFn>(uintptr_t{target_get_message_w})(message, window, first,
                                                                         last);
}
BOOL WINAPI PeekMessageAHook(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  PauseAtMessageLoop();
  return reinterpret_cast<PeekMessageFn>(uintptr_t{target_peek_message_a})(message, window, first,
                                                                           last, remove);
}
BOOL WINAPI PeekMessageWHook(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  PauseAtMessageLoop();
  return reinterpret_cast<PeekMessageFn>(uintptr_t{target_peek_message_w})(message, window, first,
                                                                           last, remove);
}

struct RetrievalHook {
  const char* name;
  void (*thunk)();
  const void* replacement;
  uint32_t* real;
  uint32_t* target;
};

const RetrievalHook kRetrievalHooks[] = {
    {"GetMessageA", GetMessageAThunk, reinterpret_cast<const void*>(GetMessageAHook),
     &real_get_message_a, &target_get_message_a},
    {"GetMessageW", GetMessageWThunk, reinterpret_cast<const void*>(GetMessageWHook),
     &real_get_message_w, &target_get_message_w},
    {"PeekMessageA", PeekMessageAThunk, reinterpret_cast<const void*>(PeekMessageAHook),
     &real_peek_message_a, &target_peek_message_a},
    {"PeekMessageW", PeekMessageWThunk, reinterpret_cast<const void*>(PeekMessageWHook),
     &real_peek_message_w, &target_peek_message_w},
};

void HookRetrieval() {
  for (const RetrievalHook& hook : kRetrievalHooks) {
    if (*hook.target == 0) {
      *hook.target = Address(
          reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("user32.dll"), hook.name)));
    }
    if (*hook.target == 0) continue;
    HookImport("user32.dll", hook.name, Address(reinterpret_cast<const void*>(hook.thunk)),
               Address(hook.replacement), *hook.real);
  }
}

HANDLE ResetOrMake(HANDLE& event) {
  if (event == nullptr) {
    event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  } else {
    ResetEvent(event);
  }
  return event;
}

bool IsPaused(uint32_t id) {
  EnterCriticalSection(&pause.lock);
  const bool listed = std::find(pause.paused.begin(), pause.paused.end(), id) != pause.paused.end();
  LeaveCriticalSection(&pause.lock);
  return listed;
}

}  // namespace

void PauseProgramThreads(bool on) {
  if (!on) {
    if (!pause.lock_made) return;
    if (pause.main_event) SetEvent(pause.main_event);
    if (pause.other_event) SetEvent(pause.other_event);
    PostHandlerCallProbe();
    return;
  }
  if (!pause.lock_made) {
    InitializeCriticalSection(&pause.lock);
    pause.lock_made = true;
    HookRetrieval();
  }
  const uint32_t self = GetCurrentThreadId();
  const uint32_t main = MainThreadId();
  EnterCriticalSection(&pause.lock);
  pause.paused.clear();
  ResetOrMake(pause.main_event);
  ResetOrMake(pause.other_event);
  LeaveCriticalSection(&pause.lock);
  for (uint32_t id : ListProcessThreads()) {
    if (id == self || id == main || !IsOwnTrackedThread(id)) continue;
    EnterCriticalSection(&pause.lock);
    pause.paused.push_back(id);
    LeaveCriticalSection(&pause.lock);
  }
  PostHandlerCallProbe();
}

void PauseAtMessageLoop() {
  if (!pause.lock_made) return;
  const DWORD error = GetLastError();
  const uint32_t self = GetCurrentThreadId();
  if (self == MainThreadId()) {
    if (pause.main_event) WaitForSingleObject(pause.main_event, INFINITE);
  } else if (pause.other_event && IsPaused(self)) {
    WaitForSingleObject(pause.other_event, INFINITE);
  }
  SetLastError(error);
}

bool ReleaseMainThread() {
  if (pause.main_event == nullptr || WaitForSingleObject(pause.main_event, 0) == WAIT_OBJECT_0) {
    return false;
  }
  SetEvent(pause.main_event);
  return true;
}

void HoldMainThread() {
  if (pause.main_event == nullptr) return;
  ResetEvent(pause.main_event);
  PostHandlerCallProbe();
}

void EndPausing() {
  for (const RetrievalHook& hook : kRetrievalHooks) {
    UnhookImport(Address(reinterpret_cast<const void*>(hook.thunk)), Address(hook.replacement),
                 *hook.real);
  }
  for (HANDLE* event : {&pause.main_event, &pause.other_event}) {
    if (*event == nullptr) continue;
    SetEvent(*event);
    CloseHandle(*event);
    *event = nullptr;
  }
  if (pause.lock_made) {
    DeleteCriticalSection(&pause.lock);
    pause.lock_made = false;
  }
}

}  // namespace qor
