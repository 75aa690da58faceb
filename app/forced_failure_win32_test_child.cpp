// Test-only part of uninstall_failure_win32_test_child: a failure in one of
// the program's event handlers, dispatched the way the GUI library
// dispatches every event, and a handler that prints what the crash-report
// core saw and ends the program. With the argument "dialog" no handler
// interferes: the program shows the core's exception dialog.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "crash/core/except_object.h"
#include "crash/core/handler_lists.h"
#include "gui/application.h"
#include "runtime/exceptions.h"

namespace {

constexpr UINT kEndCode = 7;

__attribute__((noinline)) void FailingEventHandler() {
  throw runtime::EOSError("forced failure", 5);
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  try {
    FailingEventHandler();
  } catch (...) {
    gui::Application::Instance().HandleException();
  }
}

void SeeReport(bool, uint32_t object, uint32_t address, uint32_t, std::string& report,
               qor::TScreenshot&, bool&, bool&) {
  char line[512];
  const auto start = reinterpret_cast<uintptr_t>(&FailingEventHandler);
  // A return address follows a direct call (E8 and four bytes).
  const bool after_call = address > 5 && *reinterpret_cast<const uint8_t*>(address - 5) == 0xE8;
  std::snprintf(line, sizeof line, "class=%s message=%s after_call=%d offset=%ld\n",
                qor::ExceptClassText(object).c_str(), qor::ExceptMessageText(object).c_str(),
                after_call, static_cast<long>(address - start));
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(std::strlen(line)),
            &written, nullptr);
  // Then the report itself, for a look at a real one.
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report.data(), static_cast<DWORD>(report.size()),
            &written, nullptr);
  TerminateProcess(GetCurrentProcess(), kEndCode);
}

// Made with the program's other static objects, before WinMain.
struct ForcedFailure {
  ForcedFailure() {
    if (std::strstr(GetCommandLineA(), " dialog") == nullptr) {
      qor::RegisterExceptHandler(SeeReport, qor::kOnHandlingThread, 1);
    }
    SetTimer(nullptr, 0, 500, OnTimer);
  }
} forced_failure;

}  // namespace
