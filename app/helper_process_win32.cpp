#include "app/helper_process.h"

#include <windows.h>

#include <cstring>

namespace app {
namespace {

constexpr char kDirectoryPrefix[] = "varnel-";
constexpr int kNameAttempts = 16;
constexpr char kOutputName[] = "output.txt";
constexpr DWORD kMaxOutput = 64 * 1024;
// After a program ends the system may hold its file for a moment longer.
constexpr int kDeleteAttempts = 50;
constexpr DWORD kDeleteRetryMs = 100;
constexpr DWORD kEndWaitMs = 30000;
constexpr char kNotWritten[] = "could not be written to the temporary folder";

// Owns one kernel handle; null and INVALID_HANDLE_VALUE both mean none.
class KernelHandle {
 public:
  explicit KernelHandle(HANDLE handle = nullptr) { Reset(handle); }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() { Reset(nullptr); }

  void Reset(HANDLE handle) {
    if (handle_) CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Hands the handle to the caller, who closes it.
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

std::string WithError(const std::string& what, DWORD error) {
  return what + " (error " + std::to_string(error) + ")";
}

// Random bytes from RtlGenRandom (advapi32's SystemFunction036), looked up
// at run time because the 9x family lacks it; every 64-bit Windows has it.
bool RandomBytes(uint8_t* bytes, ULONG size) {
  using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  const HMODULE advapi = LoadLibraryA("advapi32.dll");
  if (!advapi) return false;
  const auto generate = reinterpret_cast<GenRandomFn>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
  const bool made = generate && generate(bytes, size);
  FreeLibrary(advapi);
  return made;
}

// Deletes with `remove` until the path is gone or the attempts run out.
void DeleteWithRetries(const std::string& path, BOOL (WINAPI* remove)(LPCSTR)) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (remove(path.c_str())) return;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    Sleep(kDeleteRetryMs);
  }
}

// A directory this object made, and the files it put there. The destructor
// deletes those files and the directory; it leaves what others put there.
class PrivateDirectory {
 public:
  PrivateDirectory() = default;
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;
  ~PrivateDirectory() {
    if (path_.empty()) return;
    for (const std::string& file : files_) DeleteWithRetries(file, DeleteFileA);
    DeleteWithRetries(path_, RemoveDirectoryA);
  }

  // Makes a directory under the temporary folder that did not exist
  // before; false with `failure` set when none could be made.
  bool Create(std::string& failure) {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof(temp), temp);
    if (length == 0 || length >= sizeof(temp)) {
      failure = WithError(kNotWritten, GetLastError());
      return false;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      uint8_t random[8];
      if (!RandomBytes(random, sizeof(random))) {
        failure = WithError(kNotWritten, GetLastError());
        return false;
      }
      std::string path = std::string(temp) + kDirectoryPrefix;
      for (uint8_t byte : random) {
        path += "0123456789abcdef"[byte >> 4];
        path += "0123456789abcdef"[byte & 15];
      }
      if (CreateDirectoryA(path.c_str(), nullptr)) {
        path_ = path;
        return true;
      }
      if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    failure = WithError(kNotWritten, GetLastError());
    return false;
  }

  // The path of `name` in the directory; it is deleted with the directory.
  std::string Add(const std::string& name) {
    files_.push_back(path_ + "\\" + name);
    return files_.back();
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

bool WriteAll(HANDLE file, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

// Reads from the current position to the end, at most `limit` bytes.
std::string ReadUpTo(HANDLE file, DWORD limit) {
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (text.size() < limit && ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    text.append(chunk, read);
  }
  if (text.size() > limit) text.resize(limit);
  return text;
}

// Writes the program, then opens it again without write or delete sharing
// and checks that it holds exactly `image`: from then on until the process
// has started, nobody can change it. The returned handle is that guard;
// empty with `failure` set when the file could not be made so.
HANDLE WriteGuardedProgram(const std::string& path, std::span<const uint8_t> image,
                           std::string& failure) {
  {
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), image)) {
      failure = WithError(kNotWritten, GetLastError());
      return nullptr;
    }
  }
  KernelHandle guard(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string written = guard ? ReadUpTo(guard.get(), image.size() + 1) : std::string();
  if (written.size() != image.size() || std::memcmp(written.data(), image.data(), image.size())) {
    failure = "was changed before it could run";
    return nullptr;
  }
  return guard.Release();
}

}  // namespace

HelperRun RunCarriedProgram(std::span<const uint8_t> image, const std::string& file_name,
                            const std::vector<std::string>& arguments, uint32_t timeout_ms) {
  HelperRun run;
  PrivateDirectory directory;
  if (image.empty()) {
    run.failure = "is missing from this program";
    return run;
  }
  if (!directory.Create(run.failure)) return run;
  const std::string program = directory.Add(file_name);
  const std::string output_path = directory.Add(kOutputName);
  // Declared after the directory: closed before its files are deleted.
  KernelHandle guard(WriteGuardedProgram(program, image, run.failure));
  if (!guard) return run;
  SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
  KernelHandle output(CreateFileA(output_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!output) {
    run.failure = WithError(kNotWritten, GetLastError());
    return run;
  }

  std::string command_line = "\"" + program + "\"";
  for (const std::string& argument : arguments) command_line += " " + argument;
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, directory.path().c_str(), &startup, &info)) {
    run.failure = WithError("could not be started", GetLastError());
    return run;
  }
  KernelHandle process(info.hProcess);
  KernelHandle thread(info.hThread);
  guard.Reset(nullptr);  // the running program's image cannot change any more

  if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), ERROR_TIMEOUT);
    WaitForSingleObject(process.get(), kEndWaitMs);
    run.failure = "did not finish in time";
    return run;
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.get(), &exit_code);
  SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
  run.output = ReadUpTo(output.get(), kMaxOutput);
  run.exit_code = exit_code;
  run.finished = true;
  return run;
}

std::span<const uint8_t> CarriedProgram(int id) {
  const HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), RT_RCDATA);
  if (!resource) return {};
  // Resources of the program's own image need no release.
  const HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const uint8_t*>(bytes), SizeofResource(nullptr, resource)};
}

}  // namespace app
