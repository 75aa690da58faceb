// A program that carries the running core with a freeze timeout of
// QOR_FREEZE_TIMEOUT ms (built with 1000 and with 0) and lets its main
// thread stop answering in the way its first argument names; what the
// report handler sees goes to standard output, one line each, for
// freeze_watch_win32_test.
#include <windows.h>

#include <atomic>
#include <string>

#include "crash/core/freeze_watch.h"
#include "crash/core/handler_lists.h"
#include "crash/core/report_exception.h"
#include "crash/core/settings.h"
#include "crash/core/testing/frozen_report.h"
#include "crash/core/thread_registry.h"
#include "crash/modules/msg_handler_window.h"

namespace qor {
TExceptSettings ExceptSettings{.ScreenShotMode = 0, .FreezeTimeout = QOR_FREEZE_TIMEOUT};
}  // namespace qor

namespace {

// Longer than any scenario may take: a wait that ends here has failed.
constexpr DWORD kGiveUpMs = 30000;

void Say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

std::atomic<int> reports{0};
HANDLE report_seen = CreateEventA(nullptr, FALSE, FALSE, nullptr);
// The report the frozen main thread waits for, and the event with which it
// says that it has counted its queue: until then that report's handler
// keeps the watchdog inside its request, so no probe comes in between.
std::atomic<int> awaited{0};
HANDLE counted = CreateEventA(nullptr, FALSE, FALSE, nullptr);

void SeeReport(bool frozen, uint32_t, uint32_t, uint32_t, std::string& report, qor::TScreenshot&,
               bool&, bool&) {
  Say(std::string(frozen ? "frozen " : "failure ") +
      qor::test::DescribeFrozenReport(report, qor::MainThreadId(), qor::FreezeWatchThreadId(),
                                      qor::ExceptSettings.FrozenMessage.View()));
  const int seen = ++reports;
  SetEvent(report_seen);
  if (seen == awaited) WaitForSingleObject(counted, kGiveUpMs);
}

// Answers the main thread's messages for `ms` milliseconds.
void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  for (DWORD elapsed; (elapsed = GetTickCount() - start) < ms;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
}

// The probes waiting in the main thread's queue: posted messages to its
// handler window from the first private number up.
int QueuedProbes() {
  HWND window = static_cast<HWND>(qor::FindMsgHandlerWindow());
  int count = 0;
  MSG message;
  while (PeekMessageA(&message, window, WM_USER, 0xBFFF, PM_REMOVE)) {
    if (message.hwnd == window) ++count;
  }
  return count;
}

// Blocks the main thread, without answering anything, until `count`
// reports were seen.
void FreezeUntilReports(int count) {
  awaited = count;
  while (reports < count && WaitForSingleObject(report_seen, kGiveUpMs) == WAIT_OBJECT_0) {
  }
  Say("probes=" + std::to_string(QueuedProbes()));
  SetEvent(counted);
}

// A request that stays pending longer than the freeze timeout.
void SlowHandler(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&,
                 bool&) {
  Sleep(2 * QOR_FREEZE_TIMEOUT + 500);
}

DWORD WINAPI ReportSlowly(void*) {
  qor::ReportException(false, 0, 0, nullptr, 0, 0, true);
  return 0;
}

// A window of another thread that asks to be told when the main thread
// answers, as a frozen-program dialog does.
std::atomic<bool> main_answers{false};

DWORD WINAPI DialogThread(void*) {
  HWND dialog = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                nullptr);
  const bool posted = qor::PostFreezeProbe(dialog);
  Say("probe posted=" + std::to_string(posted));
  MSG message;
  const DWORD start = GetTickCount();
  while (posted && GetTickCount() - start < kGiveUpMs) {
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      continue;
    }
    if (message.hwnd == dialog && message.message == WM_NULL &&
        message.wParam == qor::kFreezeReply && message.lParam == qor::kFreezeReply) {
      Say("dialog answered after main=" + std::to_string(main_answers.load()));
      break;
    }
    DispatchMessageA(&message);
  }
  DestroyWindow(dialog);
  return 0;
}

void RunThread(LPTHREAD_START_ROUTINE routine, DWORD pump_after_ms) {
  HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
  if (pump_after_ms == 0) {
    WaitForSingleObject(thread, kGiveUpMs);
  } else {
    Sleep(pump_after_ms);
    main_answers = true;
    Pump(QOR_FREEZE_TIMEOUT);
    WaitForSingleObject(thread, kGiveUpMs);
  }
  CloseHandle(thread);
}

void NoHandler(void*, uint32_t, uintptr_t, intptr_t&, intptr_t) {}

int Scenario(const std::string& name) {
  if (name == "state") {
    Say("watchdog=" + std::to_string(qor::FreezeWatchThreadId() != 0) +
        " next_message=" + std::to_string(qor::AddMsgHandlerProc(NoHandler, 0)));
    qor::DeleteMsgHandlerProc(NoHandler, 0);
  } else if (name == "short") {
    Sleep(QOR_FREEZE_TIMEOUT / 2);
    Pump(2 * QOR_FREEZE_TIMEOUT);
  } else if (name == "long") {
    FreezeUntilReports(1);
    Pump(QOR_FREEZE_TIMEOUT / 2);
  } else if (name == "lasting") {
    FreezeUntilReports(2);
  } else if (name == "held") {
    qor::RegisterExceptHandler(SlowHandler, qor::kOnHandlingThread, 0);
    RunThread(ReportSlowly, 0);
    qor::UnregisterExceptHandler(SlowHandler, 0);
    Pump(QOR_FREEZE_TIMEOUT / 2);
  } else if (name == "dialog") {
    RunThread(DialogThread, QOR_FREEZE_TIMEOUT / 2);
  } else {
    Say("unknown scenario " + name);
    return 3;
  }
  Say("reports=" + std::to_string(reports.load()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qor::RegisterExceptHandler(SeeReport, qor::kOnHandlingThread, 1);
  return Scenario(argc > 1 ? argv[1] : "");
}
