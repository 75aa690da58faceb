// A program that carries the crash-report core and fails the way its
// argument says: "throw" (a C++ exception three calls deep in a named
// worker thread, escaping the thread) or "access" (an access violation
// five calls deep in the main thread). A phase-1 handler prints the
// report between "=== report ===" and "=== end ===". Built once more with
// the core switched off (QOR_CORE_OFF), where the failure reaches the
// system's own handling, and with an upload URL (QOR_UPLOAD_URL). Lines
// marked "frame:" are where each function
// calls on or fails.
#include <windows.h>

#include <cstring>
#include <string>

#include "crash/core/handler_lists.h"
#include "crash/core/settings.h"
#include "crash/core/thread_registry.h"
#include "runtime/exceptions.h"

namespace qor {
#if defined(QOR_CORE_OFF)
TExceptSettings ExceptSettings{.HandleExceptions = false, .InstallHooks = false};
#elif defined(QOR_UPLOAD_URL)
TExceptSettings ExceptSettings{.ScreenShotMode = 0,
                               .UploadUrl = QOR_UPLOAD_URL,
                               .UploadProduct = "FailingProgram",
                               .UploadVersion = "1.2.3",
                               .UploadIntervalSeconds = 0};
#else
TExceptSettings ExceptSettings{.ScreenShotMode = 0};
#endif
}  // namespace qor

namespace {

void Say(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

void PrintReport(bool, uint32_t, uint32_t, uint32_t, std::string& report, qor::TScreenshot&,
                 bool&, bool&) {
  Say("=== report ===\r\n" + report + "\r\n=== end ===\r\n");
}

volatile int sink = 0;

// Each level does some work after its call, so that no call becomes a jump.
__attribute__((noinline)) void Level5(int* target) {
  *target = sink;  // frame: Level5
}
__attribute__((noinline)) void Level4(int* target) {
  Level5(target);  // frame: Level4
  sink = sink + 4;
}
__attribute__((noinline)) void Level3(int* target) {
  Level4(target);  // frame: Level3
  sink = sink + 3;
}
__attribute__((noinline)) void Level2(int* target) {
  Level3(target);  // frame: Level2
  sink = sink + 2;
}
__attribute__((noinline)) void Level1(int* target) {
  Level2(target);  // frame: Level1
  sink = sink + 1;
}

__attribute__((noinline)) void SaveSettings() {
  throw runtime::Exception("Disk full!!");  // frame: SaveSettings
}
__attribute__((noinline)) void SaveDocument() {
  SaveSettings();  // frame: SaveDocument
  sink = sink + 1;
}
__attribute__((noinline)) DWORD WINAPI Worker(void*) {
  SaveDocument();  // frame: Worker
  return 0;
}

HANDLE waiting_release = nullptr;

DWORD WINAPI Waiting(void*) { return WaitForSingleObject(waiting_release, INFINITE); }

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  qor::RegisterExceptHandler(PrintReport, qor::kOnHandlingThread, 1);
  // A second thread that only waits, for the thread lists.
  waiting_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE waiting = CreateThread(nullptr, 0, Waiting, nullptr, 0, &id);
  qor::SetThreadDisplayName(id, "waiting helper");
  if (scenario == "throw") {
    HANDLE worker = CreateThread(nullptr, 0, Worker, nullptr, CREATE_SUSPENDED, &id);
    qor::SetThreadDisplayName(id, "failing worker");
    ResumeThread(worker);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    Say("continued\r\n");
  } else if (scenario == "access") {
    Level1(nullptr);  // frame: main
  }
  SetEvent(waiting_release);
  WaitForSingleObject(waiting, INFINITE);
  CloseHandle(waiting);
  CloseHandle(waiting_release);
  return 0;
}
