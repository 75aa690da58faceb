#include "crash/core/crash_server_step.h"

#include <windows.h>

#include <cstdio>

#include "crash/core/core_module.h"
#include "crash/core/crash_server_files.h"
#include "crash/core/settings.h"
#include "crash/core/thread_list.h"
#include "crash/core/win_handle.h"
#include "crash/delivery/crash_upload.h"
#include "crash/delivery/library_win32.h"
#include "crash/delivery/upload_folder.h"
#include "crash/modules/minidump_writer.h"

namespace qor {
namespace {

// The request carries no system exception record (a C++ exception has
// none), so the dump's exception stream gets a code of our own.
constexpr DWORD kReportedFailure = 0xE0710001;

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

std::string ExecutablePath() { return ModulePath(nullptr); }

std::string ReportFilePath() {
  const std::string core =
      ModulePath(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(CoreModule())));
  return BugReportFilePath(ExceptSettings.BugReportFile.View(), core, ExecutablePath());
}

// The failing thread's registers at the failure: its own context, read
// while it waits for its report, with the request's code address, stack
// pointer and frame pointer in place of where it waits.
bool FailureContext(const ExceptRequest& request, CONTEXT& context) {
  if (request.ThreadId == GetCurrentThreadId()) return false;
  const OwnedHandle thread(
      OpenThreadById(request.ThreadId, THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME));
  if (!thread || SuspendThread(thread.get()) == static_cast<DWORD>(-1)) return false;
  context.ContextFlags = CONTEXT_FULL;
  const bool read = GetThreadContext(thread.get(), &context);
  ResumeThread(thread.get());
  if (!read) return false;
  if (request.ExceptAddress != 0) context.Eip = request.ExceptAddress;
  if (request.StackPointer != 0) context.Esp = request.StackPointer;
  if (request.FramePointer != 0) context.Ebp = request.FramePointer;
  return true;
}

MinidumpResult WriteFailureDump(const ExceptRequest& request, const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) MakeFolder(path.substr(0, slash));
  CONTEXT context{};
  EXCEPTION_RECORD record{};
  record.ExceptionCode = kReportedFailure;
  record.ExceptionAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(request.ExceptAddress));
  EXCEPTION_POINTERS pointers{&record, &context};
  const bool have_context = FailureContext(request, context);
  return WriteMinidump(path, request.ThreadId, have_context ? &pointers : nullptr,
                       ExceptSettings.Minidump);
}

// A new id for the report, in the servers' text form. ole32 is loaded
// only here, so that no program that never uploads carries it; without it
// the id is made of the time, the process and the counter.
std::string NewReportId() {
  using CoCreateGuidFn = HRESULT(WINAPI*)(GUID*);
  GUID id{};
  const Library ole32("ole32.dll");
  const auto create = ole32.Find<CoCreateGuidFn>("CoCreateGuid");
  if (!create || create(&id) != S_OK) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    id.Data1 = now.dwLowDateTime;
    id.Data2 = static_cast<WORD>(now.dwHighDateTime);
    id.Data3 = static_cast<WORD>(GetCurrentProcessId());
    for (int i = 0; i < 8; ++i) id.Data4[i] = static_cast<BYTE>(counter.QuadPart >> (8 * i));
  }
  char text[40];
  std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                id.Data1, id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

}  // namespace

void AddCrashServerFiles(const ExceptRequest& request, std::string& report) {
  const std::string report_file = ReportFilePath();
  const std::string dump = MinidumpPathOf(report_file);
  const MinidumpResult written = WriteFailureDump(request, dump);
  if (written != MinidumpResult::kNotWanted) {
    report += "\r\n\r\n" + MinidumpReportLine(written, dump);
  }
  if (ExceptSettings.UploadUrl.Empty()) return;
  CrashUpload upload;
  upload.guid = NewReportId();
  upload.minidump_path = written == MinidumpResult::kWritten ? dump : std::string();
  upload.report_file_name = report_file.substr(report_file.find_last_of("\\/") + 1);
  upload.report_text = report;
  UploadCrashReport(UploadSettingsOf(ExceptSettings, dump, ExecutablePath()), upload);
}

void RetryQueuedCrashUploads() {
  try {
    if (ExceptSettings.UploadUrl.Empty()) return;
    RetryQueuedUploads(UploadSettingsOf(ExceptSettings, MinidumpPathOf(ReportFilePath()), ExecutablePath()));
  } catch (...) {
    // What cannot be sent now stays queued for the next start.
  }
}

}  // namespace qor
