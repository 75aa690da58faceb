#include "crash/modules/msg_handler_window.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qor {
namespace {

struct HandlerWindow {
  DWORD thread;
  HWND window;
  TMsgHandlers handlers;
};

// The window list and its mutex. The mutex is created on first use; it is
// a kernel mutex, so a handler that adds or deletes from inside a dispatch
// on the same thread does not deadlock.
struct WindowList {
  HANDLE mutex = nullptr;
  std::vector<HandlerWindow> windows;
};

// Made on first use and never destroyed: the crash-report core registers
// its handler before the program's static objects are made and removes it
// after they are gone. The mutex goes with the process.
WindowList& List() {
  static WindowList* list = new WindowList;
  return *list;
}

// "$" + thread id + "$" + an address inside this module, both in lower-case
// hexadecimal: each copy of this code in a process gets its own names.
std::string NameSuffix() {
  char text[32];
  std::snprintf(text, sizeof text, "$%lx$%lx", GetCurrentThreadId(),
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&FindMsgHandlerWindow)));
  return text;
}

HANDLE ListMutex() {
  if (List().mutex == nullptr) {
    std::string name = "qorToolsMsgHandlerMutex" + NameSuffix();
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    // Two threads may race to create it; the loser closes its own.
    if (mutex && InterlockedCompareExchangePointer(&List().mutex, mutex, nullptr) != nullptr) {
      CloseHandle(mutex);
    }
  }
  return List().mutex;
}

// Holds the list mutex for its lifetime. Without a mutex (the system
// refused to make one) the list is used unguarded rather than not at all.
class ListLock {
 public:
  ListLock() : mutex_(ListMutex()) {
    if (mutex_) WaitForSingleObject(mutex_, INFINITE);
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  ~ListLock() {
    if (mutex_) ReleaseMutex(mutex_);
  }

 private:
  HANDLE mutex_;
};

HandlerWindow* FindByThread(DWORD thread) {
  for (HandlerWindow& w : List().windows) {
    if (w.thread == thread) return &w;
  }
  return nullptr;
}

TMsgHandlers CopyHandlers(HWND window) {
  ListLock lock;
  for (const HandlerWindow& w : List().windows) {
    if (w.window == window) return w.handlers;
  }
  return {};
}

// A window that the system destroyed without us (its thread ended) must
// not stay in the list, or a later thread with the same id would get a
// dead window.
void Forget(HWND window) {
  ListLock lock;
  for (size_t i = 0; i < List().windows.size(); ++i) {
    if (List().windows[i].window == window) {
      List().windows.erase(List().windows.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
  }
}

LRESULT CALLBACK HandlerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = DefWindowProcA(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    Forget(window);
  } else if (IsDispatchedMessage(message)) {
    TMsgHandlers handlers = CopyHandlers(window);
    intptr_t value = result;
    // An exception must not unwind through the system's dispatch code.
    try {
      CallMsgHandlers(handlers, window, message, wparam, lparam, value);
    } catch (...) {
    }
    result = value;
  }
  return result;
}

HWND CreateHandlerWindow() {
  const std::string class_name = "qorToolsMsgHandlerWindow" + NameSuffix();
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = HandlerWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = class_name.c_str();
  // A thread that reuses the id of an ended one finds the class in place.
  if (!RegisterClassA(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }
  return CreateWindowExA(WS_EX_TOOLWINDOW, class_name.c_str(), "", WS_POPUP, 0, 0, 0, 0, nullptr,
                         nullptr, instance, nullptr);
}

uint32_t Add(const MsgHandler& entry, uint32_t thread) {
  const DWORD self = GetCurrentThreadId();
  if (thread == 0) thread = self;
  ListLock lock;
  HandlerWindow* target = FindByThread(thread);
  if (target == nullptr) {
    if (thread != self) return 0;
    HWND window = CreateHandlerWindow();
    if (window == nullptr) return 0;
    List().windows.push_back(HandlerWindow{thread, window, {}});
    target = &List().windows.back();
  }
  return AddMsgHandler(target->handlers, entry);
}

void Delete(MsgProc handler, MsgMethod code, void* object, uint32_t message, uint32_t thread) {
  const DWORD self = GetCurrentThreadId();
  if (thread == 0) thread = self;
  HWND emptied = nullptr;
  {
    ListLock lock;
    HandlerWindow* target = FindByThread(thread);
    if (target == nullptr) return;
    DeleteMsgHandlers(target->handlers, handler, code, object, message);
    if (!target->handlers.empty()) return;
    emptied = target->window;
    List().windows.erase(List().windows.begin() + (target - List().windows.data()));
  }
  if (!IsWindow(emptied)) return;
  // Only its own thread may destroy a window; others ask it to close.
  if (thread == self) {
    DestroyWindow(emptied);
  } else {
    PostMessageA(emptied, WM_CLOSE, 0, 0);
  }
}

}  // namespace

uint32_t AddMsgHandlerProc(MsgProc handler, uint32_t message, uint32_t thread) {
  return Add(MsgHandler{message, handler, nullptr, nullptr}, thread);
}

uint32_t AddMsgHandlerMethod(MsgMethod code, void* object, uint32_t message, uint32_t thread) {
  return Add(MsgHandler{message, nullptr, code, object}, thread);
}

void DeleteMsgHandlerProc(MsgProc handler, uint32_t message, uint32_t thread) {
  Delete(handler, nullptr, nullptr, message, thread);
}

void DeleteMsgHandlerMethod(MsgMethod code, void* object, uint32_t message, uint32_t thread) {
  Delete(nullptr, code, object, message, thread);
}

void* FindMsgHandlerWindow(uint32_t thread) {
  if (thread == 0) thread = GetCurrentThreadId();
  ListLock lock;
  HandlerWindow* target = FindByThread(thread);
  return target ? target->window : nullptr;
}

}  // namespace qor
