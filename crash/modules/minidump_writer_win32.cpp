#include "crash/modules/minidump_writer.h"

#include <windows.h>
#include <dbghelp.h>

#include <vector>

#include "crash/modules/debug_id.h"
#include "crash/modules/minidump_codeview.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

class ScopedLibrary {
 public:
  explicit ScopedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
  ~ScopedLibrary() { if (module_) FreeLibrary(module_); }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  // The export as the plain address GetProcAddress gives, for the caller
  // to cast to the function type it knows.
  void* Find(const char* name) const {
    return module_ ? reinterpret_cast<void*>(GetProcAddress(module_, name)) : nullptr;
  }

 private:
  HMODULE module_;
};

class ScopedFile {
 public:
  explicit ScopedFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ScopedFile() { if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The whole file from its start; false when it cannot be read completely.
bool ReadWhole(HANDLE file, std::vector<uint8_t>& bytes) {
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE || SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
  bytes.resize(size);
  DWORD done = 0;
  return size == 0 || (ReadFile(file, bytes.data(), size, &done, nullptr) && done == size);
}

bool WriteWhole(HANDLE file, const std::vector<uint8_t>& bytes) {
  DWORD done = 0;
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
         WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
         done == bytes.size();
}

// Gives the dump's modules the CodeView records their images carry (see
// minidump_codeview.h). A dump that cannot be completed stays as written.
void CompleteModuleList(HANDLE file) {
  std::vector<uint8_t> dump;
  if (!ReadWhole(file, dump)) return;
  const LiveMemory memory;
  const auto lookup = [&memory](uint32_t base, std::vector<uint8_t>& record) {
    CodeViewRecord codeview;
    if (!ReadCodeViewRecord(memory, base, codeview)) return false;
    record = codeview.bytes;
    return true;
  };
  if (AddMissingCodeViewRecords(dump, lookup) > 0) WriteWhole(file, dump);
}

// Leaves the writing thread out of the dump: its own stack tells nothing
// about the failure (and Wine records its whole reserved stack).
BOOL CALLBACK LeaveOutWriter(void* writer, const PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT) {
  if (input->CallbackType != IncludeThreadCallback) return TRUE;
  return input->IncludeThread.ThreadId != *static_cast<DWORD*>(writer);
}

}  // namespace

MinidumpResult WriteMinidump(const std::string& path, uint32_t thread_id,
                             const void* exception_pointers, MinidumpSize size) {
  if (size == MinidumpSize::kNone) return MinidumpResult::kNotWanted;
  const ScopedLibrary dbghelp("dbghelp.dll");
  const auto write = reinterpret_cast<MiniDumpWriteDumpFn>(dbghelp.Find("MiniDumpWriteDump"));
  if (!write) return MinidumpResult::kNoDbgHelp;
  bool written = false;
  {
    const ScopedFile file(path);
    if (file.get() == INVALID_HANDLE_VALUE) return MinidumpResult::kFailed;
    MINIDUMP_EXCEPTION_INFORMATION exception = {
        thread_id, static_cast<EXCEPTION_POINTERS*>(const_cast<void*>(exception_pointers)), FALSE};
    const MINIDUMP_TYPE type = size == MinidumpSize::kWithData ? MiniDumpWithDataSegs : MiniDumpNormal;
    DWORD writer = GetCurrentThreadId();
    MINIDUMP_CALLBACK_INFORMATION callback = {LeaveOutWriter, &writer};
    written = write(GetCurrentProcess(), GetCurrentProcessId(), file.get(), type,
                    exception_pointers ? &exception : nullptr, nullptr, &callback);
    if (written) CompleteModuleList(file.get());
  }
  if (!written) DeleteFileA(path.c_str());
  return written ? MinidumpResult::kWritten : MinidumpResult::kFailed;
}

}  // namespace qor
