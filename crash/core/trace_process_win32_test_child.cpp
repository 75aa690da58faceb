// A program that carries the running core and runs its own exported
// qorTraceProcess as a thread, the way an outside tool starts it, with the
// max length and the mapping its first argument names; what the routine
// left goes to standard output, one line each, for
// trace_process_win32_test.
#include <windows.h>

#include <cstring>
#include <string>

#include "crash/attach/number_text.h"
#include "crash/core/settings.h"
#include "crash/core/testing/frozen_report.h"
#include "crash/core/thread_registry.h"
#include "crash/core/trace_process.h"
#include "crash/core/win_handle.h"

namespace qor {
TExceptSettings ExceptSettings{.ScreenShotMode = 0};
}  // namespace qor

namespace {

constexpr DWORD kViewSize = 1 << 20;
constexpr uint8_t kUntouched = 0xCC;

void Say(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

// Runs the export on a thread of its own; returns its exit code and the
// thread's id.
DWORD TraceThread(int32_t max_length, DWORD& id) {
  // Found by name, as a tool finds it: the export is what is tested.
  const FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), "qorTraceProcess");
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(found));
  if (routine == nullptr) return 0xBAD;
  const qor::OwnedHandle thread(CreateThread(nullptr, 0, routine,
                                             reinterpret_cast<void*>(intptr_t{max_length}), 0,
                                             &id));
  DWORD result = 0xBAD;
  if (WaitForSingleObject(thread.get(), 60000) == WAIT_OBJECT_0) {
    GetExitCodeThread(thread.get(), &result);
  }
  return result;
}

std::string Describe(const std::string& report, DWORD tracer) {
  return qor::test::DescribeFrozenReport(report, qor::MainThreadId(), tracer,
                                         qor::ExceptSettings.FrozenMessage.View());
}

// Traces into a mapping of kViewSize bytes that starts out as kUntouched.
int IntoMapping(int32_t max_length) {
  const qor::OwnedHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                    0, kViewSize, qor::kTraceMapName));
  auto* view = static_cast<uint8_t*>(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (view == nullptr) return 4;
  std::memset(view, kUntouched, kViewSize);
  DWORD tracer = 0;
  const DWORD result = TraceThread(max_length, tracer);
  const size_t length = strnlen(reinterpret_cast<const char*>(view), kViewSize);
  const std::string report(reinterpret_cast<const char*>(view), length);
  Say("result=" + std::to_string(result) + " length=" + std::to_string(length) +
      " next=" + qor::FormatHex(length + 1 < kViewSize ? view[length + 1] : 0));
  Say(Describe(report, tracer));
  UnmapViewOfFile(view);
  return 0;
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const auto* chars = static_cast<const char*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void PutOnClipboard(const std::string& text) {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (auto* chars = static_cast<char*>(GlobalLock(block))) {
      std::memcpy(chars, text.c_str(), text.size() + 1);
      GlobalUnlock(block);
    }
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
  }
  CloseClipboard();
}

void EmptyTheClipboard() {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  CloseClipboard();
}

int OntoClipboard(int32_t max_length) {
  EmptyTheClipboard();
  DWORD tracer = 0;
  const DWORD result = TraceThread(max_length, tracer);
  const std::string text = ClipboardText();
  Say("result=" + std::to_string(result) + " clipboard=" + std::to_string(!text.empty()));
  Say(Describe(text, tracer));
  return 0;
}

// The clipboard's text is what this child put there before the trace. Its
// sequence number is no witness: Wine's clipboard manager may bump it while
// it takes the contents over.
int Nowhere() {
  const std::string marker = "before the trace " + std::to_string(GetCurrentProcessId());
  PutOnClipboard(marker);
  DWORD tracer = 0;
  const DWORD result = TraceThread(100, tracer);
  Say("result=" + std::to_string(result) +
      " clipboard_changed=" + std::to_string(ClipboardText() != marker));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "mapping") return IntoMapping(argc > 2 ? std::atoi(argv[2]) : 0);
  if (scenario == "clipboard") return OntoClipboard(0);
  if (scenario == "none") return Nowhere();
  Say("unknown scenario " + scenario);
  return 3;
}
