#include "tools/qor_trace/trace_client_win32.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include "crash/attach/system_error_text.h"
#include "crash/core/win_handle.h"
#include "crash/modules/pe_exports.h"
#include "tools/qor_trace/remote_memory_win32.h"

namespace qor::trace {
namespace {

constexpr char kExportName[] = "qorTraceProcess";
// The global names reach a program in another session; where they cannot
// be created (no right to create global objects, the 9x family), the
// session's own names are used, which the program tries second.
constexpr const char* kMappingNames[] = {"Global\\qorTraceProcessMap", "qorTraceProcessMap"};
constexpr const char* kLockNames[] = {"Global\\qorTraceProcessLock", "qorTraceProcessLock"};
constexpr DWORD kProcessAccess = PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                 PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ;

TraceOutcome Failure(TraceStatus status, std::string message) {
  return {status, {}, std::move(message)};
}

std::string ErrorText(DWORD code) {
  std::string text = SystemErrorText(code);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string ProcessName(uint32_t pid) {
  return "process " + std::to_string(pid);
}

std::string Seconds(uint32_t ms) {
  return std::to_string((ms + 999) / 1000) + " s";
}

// Holds the clients' mutex from construction to destruction.
class ClientLock {
 public:
  ClientLock() = default;
  ClientLock(const ClientLock&) = delete;
  ClientLock& operator=(const ClientLock&) = delete;
  ~ClientLock() {
    if (held_) ReleaseMutex(mutex_.get());
  }

  // Empty once held, else why not: the mutex cannot be created, or another
  // client keeps it longer than `timeout_ms`. A client that died holding
  // it leaves it abandoned, which counts as free.
  std::string Acquire(uint32_t timeout_ms) {
    DWORD error = 0;
    for (const char* name : kLockNames) {
      mutex_.reset(CreateMutexA(nullptr, FALSE, name));
      error = GetLastError();
      if (mutex_) break;
    }
    if (!mutex_) return "cannot create the trace clients' mutex: " + ErrorText(error);
    const DWORD waited = WaitForSingleObject(mutex_.get(), timeout_ms);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return held_ ? "" : "another qor-trace did not finish within " + Seconds(timeout_ms);
  }

 private:
  OwnedHandle mutex_;
  bool held_ = false;
};

// The mapping the program writes into, with its view.
class SharedView {
 public:
  SharedView() = default;
  SharedView(const SharedView&) = delete;
  SharedView& operator=(const SharedView&) = delete;
  ~SharedView() {
    if (view_) UnmapViewOfFile(view_);
  }

  // Empty on success, else what failed.
  std::string Create(uint32_t size) {
    DWORD error = 0;
    for (const char* name : kMappingNames) {
      mapping_.reset(
          CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name));
      error = GetLastError();
      if (mapping_) break;
    }
    if (!mapping_) return "cannot create the file mapping for the report: " + ErrorText(error);
    // Only clients that do not take the lock can share it; their report
    // would mix with ours.
    if (error == ERROR_ALREADY_EXISTS) return "another program is using the trace mapping";
    view_ = MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
    if (!view_) return "cannot map the report's view: " + ErrorText(GetLastError());
    size_ = size;
    return {};
  }

  std::string Report() const { return ReportFromView(static_cast<const uint8_t*>(view_), size_); }

 private:
  OwnedHandle mapping_;
  void* view_ = nullptr;
  uint32_t size_ = 0;
};

TraceOutcome OpenTarget(uint32_t pid, OwnedHandle& process) {
  process.reset(OpenProcess(kProcessAccess, FALSE, pid));
  if (!process) {
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_PARAMETER)
      return Failure(TraceStatus::kNoProcess, "no process has the id " + std::to_string(pid));
    if (error == ERROR_ACCESS_DENIED) {
      return Failure(
          TraceStatus::kAccessDenied,
          "access to " + ProcessName(pid) +
              " denied; run qor-trace as the user of that process or as an administrator");
    }
    return Failure(TraceStatus::kFailed,
                   "cannot open " + ProcessName(pid) + ": " + ErrorText(error));
  }
  DWORD code = 0;
  if (GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE) {
    return Failure(TraceStatus::kNoProcess, ProcessName(pid) + " has ended");
  }
  return {TraceStatus::kOk, {}, {}};
}

// The address of the routine in the first of the process's modules that
// exports it (the program itself comes first).
TraceOutcome FindRoutine(uint32_t pid, HANDLE process, uint32_t& routine) {
  // The list can change while it is taken; the system then asks to try again.
  HANDLE taken = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 10; ++attempt) {
    taken = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (taken != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH) break;
  }
  const DWORD error = GetLastError();
  const OwnedHandle snapshot(taken);
  if (!snapshot) {
    if (error == ERROR_ACCESS_DENIED) {
      return Failure(TraceStatus::kAccessDenied,
                     "access to the modules of " + ProcessName(pid) + " denied");
    }
    // What a 32-bit program is told about a 64-bit one, or about one
    // whose loader has not set up its module list yet.
    if (error == ERROR_PARTIAL_COPY) {
      return Failure(TraceStatus::kNoExport, "cannot read the module list of " + ProcessName(pid) +
                                                 ": a 64-bit process, or one still starting");
    }
    return Failure(TraceStatus::kFailed,
                   "cannot list the modules of " + ProcessName(pid) + ": " + ErrorText(error));
  }
  const RemoteMemory memory(process);
  MODULEENTRY32 module = {};
  module.dwSize = sizeof module;
  std::string program;
  for (BOOL more = Module32First(snapshot.get(), &module); more;
       more = Module32Next(snapshot.get(), &module)) {
    if (program.empty()) program = module.szModule;
    const uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module.modBaseAddr));
    routine = ExportAddressByName(memory, base, kExportName, false, {});
    if (routine) return {TraceStatus::kOk, {}, {}};
  }
  return Failure(TraceStatus::kNoExport,
                 ProcessName(pid) + (program.empty() ? "" : " (" + program + ")") +
                     " does not export " + kExportName + ", so it cannot be traced");
}

TraceOutcome RunRoutine(const TraceRequest& request, HANDLE process, uint32_t routine,
                        const SharedView& view) {
  const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(uintptr_t{routine});
  void* max_length = reinterpret_cast<void*>(uintptr_t{request.view_size});
  OwnedHandle thread(CreateRemoteThread(process, nullptr, 0, start, max_length, 0, nullptr));
  if (!thread) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
      return Failure(TraceStatus::kAccessDenied,
                     "not allowed to start a thread in " + ProcessName(request.pid));
    }
    return Failure(TraceStatus::kFailed, "cannot start a thread in " + ProcessName(request.pid) +
                                             ": " + ErrorText(error));
  }
  // A thread that does not end is left running: ending it could leave the
  // program's locks held.
  if (WaitForSingleObject(thread.get(), request.timeout_ms) != WAIT_OBJECT_0) {
    return Failure(TraceStatus::kTimeout, ProcessName(request.pid) + " did not answer within " +
                                              Seconds(request.timeout_ms));
  }
  TraceOutcome outcome{TraceStatus::kOk, view.Report(), {}};
  if (outcome.report.empty()) {
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    return Failure(
        ended ? TraceStatus::kNoProcess : TraceStatus::kFailed,
        ProcessName(request.pid) + (ended ? " ended while making its report" : " made no report"));
  }
  return outcome;
}

}  // namespace

TraceOutcome RequestTrace(const TraceRequest& request) {
  OwnedHandle process;
  TraceOutcome outcome = OpenTarget(request.pid, process);
  if (outcome.status != TraceStatus::kOk) return outcome;
  uint32_t routine = 0;
  outcome = FindRoutine(request.pid, process.get(), routine);
  if (outcome.status != TraceStatus::kOk) return outcome;
  ClientLock lock;
  std::string failed = lock.Acquire(request.timeout_ms);
  if (!failed.empty()) return Failure(TraceStatus::kTimeout, failed);
  SharedView view;
  failed = view.Create(request.view_size);
  if (!failed.empty()) return Failure(TraceStatus::kFailed, failed);
  return RunRoutine(request, process.get(), routine, view);
}

}  // namespace qor::trace
