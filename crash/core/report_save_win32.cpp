// Saving the report: the file name, the save dialog, and the replacement
// of the bug-report file in one step.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "crash/attach/number_text.h"
#include "crash/core/report_actions.h"
#include "crash/core/report_file.h"
#include "crash/core/settings_win32.h"
#include "crash/core/win_handle.h"
#include "crash/delivery/mail_address.h"
#include "crash/delivery/mail_client_hooks.h"

namespace qor {
namespace {

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory(path, length < sizeof path ? length : 0);
  const size_t slash = directory.find_last_of('\\');
  return slash == std::string::npos ? std::string() : directory.substr(0, slash);
}

// Asks for the file; empty when cancelled. The buffer holds at least the
// pre-filled name, however long the configured name expanded.
std::string AskForFileName(const std::string& name, void* owner_window) {
  std::vector<char> buffer(std::max<size_t>(MAX_PATH, name.size() + 1));
  std::copy(name.begin(), name.end(), buffer.begin());
  const std::string directory = ExecutableDirectory();
  const std::string title(ExceptSettings.ButtonCaptions[1].View());
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(owner_window);
  dialog.lpstrFilter = "*.txt\0*.txt\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrInitialDir = directory.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
  if (!GetSaveFileNameA(&dialog)) return {};
  return buffer.data();
}

// Creates each missing directory above the file, from the root down.
void CreateDirectoriesFor(const std::string& path) {
  for (size_t slash = path.find_first_of("\\/", 3); slash != std::string::npos;
       slash = path.find_first_of("\\/", slash + 1)) {
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  }
}

// The file's bytes; false when it exists but cannot be read whole.
bool ReadExisting(const std::string& path, std::string& content) {
  OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError() == ERROR_FILE_NOT_FOUND;
  const DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > (1u << 28)) return false;
  content.resize(size);
  DWORD read = 0;
  return size == 0 || (ReadFile(file.get(), content.data(), size, &read, nullptr) && read == size);
}

bool WriteWhole(const std::string& path, const std::string& content) {
  OwnedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) &&
         written == content.size() && FlushFileBuffers(file.get());
}

// Moves `from` over `to` in one step; the 9x family has no such move and
// deletes first.
bool ReplaceWith(const std::string& to, const std::string& from) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  DeleteFileA(to.c_str());
  return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool WriteReportFile(const std::string& path, const std::string& report) {
  CreateDirectoriesFor(path);
  // A read-only file is not ours to change (Wine would let the move
  // replace it, Windows refuses).
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  std::string content;
  if (!ReadExisting(path, content)) return false;
  content = ReportFileAfterSave(content, report, ExceptSettings.BugReportFileMaxSize);
  // Our own name beside the file, so that we never overwrite a stranger.
  const std::string fresh = path + ".new" + FormatHex(GetCurrentProcessId()).substr(1);
  if (WriteWhole(fresh, content) && ReplaceWith(path, fresh)) return true;
  DeleteFileA(fresh.c_str());
  return false;
}

}  // namespace

std::string BugReportFileName() {
  return ReplaceAppName(ExceptSettings.BugReportFile.View(),
                        AppNameFor(AppNameUse::kBugReportFile));
}

bool SaveReport(const std::string& report, void* owner_window, bool silent) {
  std::string path = BugReportFileName();
  if (!IsAbsoluteReportPath(path)) {
    if (silent) {
      path = ReportPathIn(ExecutableDirectory(), path);
    } else if (LoaderLockHeld()) {
      MessageBeep(0);
      return false;
    } else {
      path = AskForFileName(path, owner_window);
      if (path.empty()) return false;
    }
  }
  return WriteReportFile(path, report);
}

}  // namespace qor
