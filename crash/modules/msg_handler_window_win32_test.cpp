#include "crash/modules/msg_handler_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

namespace qor {
namespace {

std::atomic<DWORD> g_handled_on{0};
std::atomic<int> g_calls{0};

void Handler(void* window, uint32_t message, uintptr_t wparam, intptr_t& result, intptr_t lparam) {
  g_handled_on = GetCurrentThreadId();
  ++g_calls;
  result = static_cast<intptr_t>(wparam + lparam);
}

void Method(void* object, void*, uint32_t, intptr_t& result, intptr_t lparam, uintptr_t wparam) {
  *static_cast<int*>(object) += 1;
  result = result * 100 + lparam - static_cast<intptr_t>(wparam);
}

void Other(void*, uint32_t, uintptr_t, intptr_t&, intptr_t) {}

// Waits up to five seconds, pumping this thread's messages, for `done`.
template <typename Done>
bool PumpUntil(Done done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  return done();
}

TEST(MsgHandlerWindow, DispatchesOnItsThreadAndAllocatesNumbers) {
  ASSERT_EQ(FindMsgHandlerWindow(), nullptr);
  uint32_t first = AddMsgHandlerProc(Handler, 0);
  uint32_t second = AddMsgHandlerProc(Handler, 0);
  EXPECT_EQ(first, 1024u);
  EXPECT_EQ(second, 1025u);
  EXPECT_EQ(AddMsgHandlerProc(Handler, 1025), 0u) << "identical entry";
  int object = 0;
  EXPECT_EQ(AddMsgHandlerMethod(Method, &object, 1025), 1025u);

  HWND window = static_cast<HWND>(FindMsgHandlerWindow());
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  char class_name[128] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  char expected_start[64];
  wsprintfA(expected_start, "qorToolsMsgHandlerWindow$%lx$", GetCurrentThreadId());
  EXPECT_EQ(std::string(class_name).rfind(expected_start, 0), 0u) << class_name;

  g_calls = 0;
  EXPECT_EQ(SendMessageA(window, 1024, 3, 4), 7);
  EXPECT_EQ(g_handled_on.load(), GetCurrentThreadId());
  // Both entries of 1025 run in order and see each other's result.
  EXPECT_EQ(SendMessageA(window, 1025, 5, 6), (5 + 6) * 100 + 6 - 5);
  EXPECT_EQ(object, 1);
  EXPECT_EQ(g_calls.load(), 2);
  // A message that is not passed on reaches no handler.
  EXPECT_EQ(AddMsgHandlerProc(Handler, WM_QUERYOPEN), UINT{WM_QUERYOPEN});
  SendMessageA(window, WM_QUERYOPEN, 0, 0);
  EXPECT_EQ(g_calls.load(), 2);

  DeleteMsgHandlerProc(Handler, 0);
  DeleteMsgHandlerProc(Other, 0);
  EXPECT_TRUE(IsWindow(window)) << "the method is still registered";
  DeleteMsgHandlerMethod(Method, &object, 0);
  EXPECT_FALSE(IsWindow(window)) << "destroyed with its last handler";
  EXPECT_EQ(FindMsgHandlerWindow(), nullptr);
}

// A thread with a handler window and a message loop, stopped and joined
// when the object goes, also when a test ends early.
class Worker {
 public:
  Worker() { thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() {
    stop_ = true;
    if (thread_) {
      WaitForSingleObject(thread_, 10000);
      CloseHandle(thread_);
    }
    CloseHandle(ready_);
  }

  // False when the thread did not get its window going in time.
  bool WaitReady() { return thread_ && WaitForSingleObject(ready_, 10000) == WAIT_OBJECT_0; }

  DWORD id = 0;
  HWND window = nullptr;
  uint32_t message = 0;

 private:
  static DWORD WINAPI Run(void* param) {
    auto* self = static_cast<Worker*>(param);
    self->id = GetCurrentThreadId();
    self->message = AddMsgHandlerProc(Handler, 0);
    self->window = static_cast<HWND>(FindMsgHandlerWindow());
    SetEvent(self->ready_);
    while (!self->stop_) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return 0;
  }

  HANDLE ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
};

TEST(MsgHandlerWindow, AnotherThreadsWindowIsUsedButNeverCreated) {
  Worker worker;
  ASSERT_TRUE(worker.WaitReady());
  HWND window = worker.window;
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(worker.message, 1024u) << "numbers are per window";
  EXPECT_EQ(FindMsgHandlerWindow(worker.id), window);

  // Sent from here, handled on the worker's thread.
  g_handled_on = 0;
  EXPECT_EQ(SendMessageA(window, 1024, 20, 22), 42);
  EXPECT_EQ(g_handled_on.load(), worker.id);

  EXPECT_EQ(AddMsgHandlerProc(Other, 0, worker.id), 1025u) << "added from another thread";
  EXPECT_EQ(FindMsgHandlerWindow(), nullptr) << "this thread got no window";

  DeleteMsgHandlerProc(Other, 0, worker.id);
  DeleteMsgHandlerProc(Handler, 1024, worker.id);
  EXPECT_EQ(FindMsgHandlerWindow(worker.id), nullptr);
  // Closed by the worker's own message loop.
  EXPECT_TRUE(PumpUntil([window] { return !IsWindow(window); }));
}

DWORD WINAPI SleepAWhile(void*) {
  Sleep(300);
  return 0;
}

TEST(MsgHandlerWindow, NoWindowIsMadeForAThreadWithoutOne) {
  DWORD other = 0;
  HANDLE thread = CreateThread(nullptr, 0, SleepAWhile, nullptr, 0, &other);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(AddMsgHandlerProc(Handler, 0, other), 0u);
  EXPECT_EQ(FindMsgHandlerWindow(other), nullptr);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
}

}  // namespace
}  // namespace qor
