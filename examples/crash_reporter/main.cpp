// How a program gets the crash reporter: link qor::crash, and the reporter
// is running before main starts. This one registers a handler that is told
// about every failure once its report is ready, and then fails in a thread
// of its own; the reporter reports it and the program goes on. A console
// program gets the report on its output; with --dialog it shows the
// reporter's dialog instead.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "crash/core/except_object.h"
#include "crash/core/handler_lists.h"
#include "crash/core/settings.h"

namespace {

// Called on the reporter's own thread once the report is composed.
void ReportReady(bool frozen, uint32_t object, uint32_t address, uint32_t thread_id,
                 std::string& report, qor::TScreenshot& screenshot, bool& can_continue,
                 bool& handled) {
  std::printf("reported: %s: %s (thread %u may %s)\n", qor::ExceptClassText(object).c_str(),
              qor::ExceptMessageText(object).c_str(), static_cast<unsigned>(thread_id),
              can_continue ? "go on" : "not go on");
  std::fflush(stdout);
}

DWORD WINAPI Worker(void*) {
  throw std::runtime_error("the worker failed");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--dialog") qor::ExceptSettings.ConsoleOutput = false;
  qor::RegisterExceptHandler(ReportReady, qor::kOnHandlingThread, 1);
  HANDLE worker = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
  std::printf("the program goes on\n");
  return 0;
}
