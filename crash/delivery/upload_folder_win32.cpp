#include <windows.h>

#include <algorithm>

#include "crash/delivery/upload_folder.h"

namespace qor {
namespace {

// A file handle closed when the object goes; INVALID_HANDLE_VALUE is none.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // True when the handle closed cleanly (the written data reached the file).
  bool Close() {
    const bool closed = !valid() || CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// A search started by FindFirstFileA, ended when the object goes.
class ScopedFind {
 public:
  ScopedFind(const std::string& pattern, WIN32_FIND_DATAA& data)
      : handle_(FindFirstFileA(pattern.c_str(), &data)) {}
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  ~ScopedFind() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  bool found() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAA& data) { return FindNextFileA(handle_, &data) != FALSE; }

 private:
  HANDLE handle_;
};

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// MoveFileExA is missing on the 9x family; there the old file goes first.
bool RenameReplacing(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE) return true;
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  DeleteFileA(to.c_str());
  return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const DWORD portion = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + at, portion, &written, nullptr) || written == 0) {
      return false;
    }
    at += written;
  }
  return true;
}

}  // namespace

std::string PathInFolder(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

std::vector<FolderFile> ListFolderFiles(const std::string& folder) {
  std::vector<FolderFile> files;
  WIN32_FIND_DATAA data;
  ScopedFind find(PathInFolder(folder, "*"), data);
  if (!find.found()) return files;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    files.push_back({data.cFileName, static_cast<uint64_t>(data.nFileSizeHigh) << 32 |
                                         data.nFileSizeLow});
  } while (find.Next(data));
  return files;
}

bool MakeFolder(const std::string& folder) {
  if (folder.empty() || IsFolder(folder)) return !folder.empty();
  const size_t cut = folder.find_last_of("\\/");
  // A drive ("C:") or a share's root ends the walk up.
  if (cut != std::string::npos && cut > 0 && folder[cut - 1] != ':' && folder[cut - 1] != '\\') {
    MakeFolder(folder.substr(0, cut));
  }
  CreateDirectoryA(folder.c_str(), nullptr);
  return IsFolder(folder);
}

std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t max_size) {
  ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  const uint64_t size = static_cast<uint64_t>(high) << 32 | low;
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || size > max_size) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t at = 0;
  while (at < bytes.size()) {
    DWORD read = 0;
    const DWORD portion = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + at, portion, &read, nullptr) || read == 0) {
      return std::nullopt;
    }
    at += read;
  }
  return bytes;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  ScopedFile file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get()) != FALSE;
  if (file.Close() && written && RenameReplacing(temporary, path)) return true;
  DeleteFileA(temporary.c_str());
  return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

}  // namespace qor
