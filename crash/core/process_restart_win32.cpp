// Restarting and closing the program. A restarted program inherits the
// times of the last requests through a small named mapping, so that the
// automatic-restart rule sees failures from before the restart.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "crash/attach/number_text.h"
#include "crash/core/report_actions.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

// The mapping's layout: the old process's id, the mapping's handle as
// duplicated into the new process (which keeps the mapping alive after the
// old process has gone), then the times.
struct HandOver {
  uint32_t old_process_id;
  uint32_t duplicated_handle;
  uint64_t times[10];
};
static_assert(sizeof(HandOver) == 88);

std::string HandOverName(DWORD process_id) {
  return "qorExceptRestart" + FormatHex(process_id);
}

// A view of a mapping, unmapped on every path.
class MappedView {
 public:
  MappedView(HANDLE mapping, DWORD access)
      : view_(MapViewOfFile(mapping, access, 0, 0, sizeof(HandOver))) {}
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView() {
    if (view_) UnmapViewOfFile(view_);
  }
  HandOver* get() const { return static_cast<HandOver*>(view_); }

 private:
  void* view_;
};

// Hands `times` to the suspended process; false when the mapping cannot
// be made or its name is taken already (by someone else).
bool WriteHandOver(const PROCESS_INFORMATION& process, const TExceptTimes& times) {
  OwnedHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(HandOver),
                                         HandOverName(process.dwProcessId).c_str()));
  if (!mapping || GetLastError() == ERROR_ALREADY_EXISTS) return false;
  MappedView view(mapping.get(), FILE_MAP_WRITE);
  HANDLE duplicate = nullptr;
  if (!view.get() || !DuplicateHandle(GetCurrentProcess(), mapping.get(), process.hProcess,
                                      &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return false;
  }
  view.get()->old_process_id = GetCurrentProcessId();
  view.get()->duplicated_handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(duplicate));
  std::memcpy(view.get()->times, times.data(), sizeof view.get()->times);
  return true;
}

// The id of the process that created this one; 0 when unknown (the
// process list functions are looked up, since NT 4 has none).
DWORD CreatorProcessId() {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  using Snapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using Walk = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
  const auto snapshot = reinterpret_cast<Snapshot>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
  const auto first =
      reinterpret_cast<Walk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Process32First")));
  const auto next =
      reinterpret_cast<Walk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Process32Next")));
  if (!snapshot || !first || !next) return 0;
  OwnedHandle list(snapshot(TH32CS_SNAPPROCESS, 0));
  if (!list) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = first(list.get(), &entry); more; more = next(list.get(), &entry)) {
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    entry.dwSize = sizeof entry;
  }
  return 0;
}

}  // namespace

void RestartProcess(const TExceptTimes& times) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  const char* command_line = GetCommandLineA();
  std::vector<char> arguments(command_line, command_line + std::strlen(command_line) + 1);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (length > 0 && length < sizeof path &&
      CreateProcessA(path, arguments.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                     nullptr, &startup, &process)) {
    OwnedHandle process_handle(process.hProcess);
    OwnedHandle thread_handle(process.hThread);
    WriteHandOver(process, times);
    ResumeThread(process.hThread);
  }
  TerminateProcess(GetCurrentProcess(), 2);
  ExitProcess(2);  // not reached
}

void CloseProcess() {
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);  // not reached
}

bool CheckRestartHandOver(TExceptTimes& times) {
  OwnedHandle mapping(
      OpenFileMappingA(FILE_MAP_READ, FALSE, HandOverName(GetCurrentProcessId()).c_str()));
  if (!mapping) return false;
  MappedView view(mapping.get(), FILE_MAP_READ);
  if (!view.get()) return false;
  HandOver hand_over;
  std::memcpy(&hand_over, view.get(), sizeof hand_over);
  // Only the process that started us wrote a block we may act on; the
  // handle in it is then the one it duplicated for us.
  if (hand_over.old_process_id == 0 || hand_over.old_process_id != CreatorProcessId()) {
    return false;
  }
  CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(hand_over.duplicated_handle)));
  OwnedHandle old_process(OpenProcess(SYNCHRONIZE, FALSE, hand_over.old_process_id));
  if (old_process) WaitForSingleObject(old_process.get(), INFINITE);
  std::memcpy(times.data(), hand_over.times, sizeof hand_over.times);
  return true;
}

}  // namespace qor
