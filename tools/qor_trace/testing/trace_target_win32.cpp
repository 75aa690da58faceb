// trace_target.exe answer|hang READY_EVENT
// A stand-in for a program that carries the crash reporter. Built twice:
// trace_target.exe exports qorTraceProcess (trace_target.def), which in
// "answer" mode writes kTraceTargetReport and the call's number into the
// trace mapping, cut to its max length as the real routine does, and in
// "hang" mode never returns; trace_target_plain.exe exports nothing. It
// signals the named event READY_EVENT once running, then waits to be ended.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tools/qor_trace/testing/trace_target.h"

namespace {

bool g_hang = false;
LONG g_calls = 0;
LONG g_running = 0;

// The text of one call; "overlap" when another call was running at its
// start, which serialised clients never cause.
std::string ReportText(LONG call, bool overlap) {
  std::string text = kTraceTargetReport;
  text += "call " + std::to_string(call) + "\r\n";
  if (overlap) text += "overlap\r\n";
  return text;
}

void WriteToMapping(std::string text, LONG max_length) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "Global\\qorTraceProcessMap");
  if (!mapping) mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "qorTraceProcessMap");
  if (!mapping) return;
  if (void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0)) {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(view, &info, sizeof info);
    const size_t room = std::min<size_t>(static_cast<size_t>(max_length), info.RegionSize);
    if (room > 0) {
      if (text.size() >= room) text.resize(room - 1);
      std::memcpy(view, text.c_str(), text.size() + 1);
    }
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
}

}  // namespace

extern "C" DWORD WINAPI qorTraceProcess(LONG max_length) {
  if (g_hang) Sleep(INFINITE);
  const bool overlap = InterlockedIncrement(&g_running) > 1;
  const LONG call = InterlockedIncrement(&g_calls);
  // A real report takes a while to make; two calls at once would meet here.
  Sleep(100);
  if (max_length >= 1) WriteToMapping(ReportText(call, overlap), max_length);
  InterlockedDecrement(&g_running);
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  g_hang = std::strcmp(argv[1], "hang") == 0;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (!ready) return 3;
  SetEvent(ready);
  CloseHandle(ready);
  Sleep(INFINITE);
}
