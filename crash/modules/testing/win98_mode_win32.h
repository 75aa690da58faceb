// Running a child program in Wine's win98 version mode (set per executable
// under AppDefaults), for tests of the 9x paths. On real Windows the setting
// means nothing, so such tests run only under Wine.
#pragma once

#include <windows.h>

#include <string>

namespace qor::test {

inline constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";

inline bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Sets the version mode of program `child` for the life of the object.
class Win98Mode {
 public:
  explicit Win98Mode(const char* child) : key_(std::string(kAppDefaults) + child) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    set_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6) ==
           ERROR_SUCCESS;
    RegCloseKey(key);
  }
  Win98Mode(const Win98Mode&) = delete;
  Win98Mode& operator=(const Win98Mode&) = delete;
  ~Win98Mode() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
  bool set() const { return set_; }

 private:
  std::string key_;
  bool set_ = false;
};

class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_) CloseHandle(handle_);
  }
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }
  void reset() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

// Runs program `child` beside this program and returns its standard output;
// empty when it could not be started or did not finish.
inline std::string RunChild(const char* child) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command(path, length);
  command = command.substr(0, command.rfind('\\') + 1) + child;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handle read, write;
  if (!CreatePipe(read.out(), write.out(), &inherit, 0)) return {};
  SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write.get();
  startup.hStdError = write.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return {};
  }
  Handle process_handle(process.hProcess), thread_handle(process.hThread);
  write.reset();
  std::string output;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  return WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0 ? output : std::string();
}

}  // namespace qor::test
