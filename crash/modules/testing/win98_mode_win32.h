// Running a child program in Wine's win98 version mode (set per executable
// under AppDefaults), for tests of the 9x paths. On real Windows the setting
// means nothing, so such tests run only under Wine.
#pragma once

#include <windows.h>

#include <string>

#include "crash/modules/testing/child_output_win32.h"

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

// Runs program `child` beside this program and returns its standard output;
// empty when it could not be started or did not finish.
inline std::string RunChild(const char* child) {
  const ChildOutput run = RunChildProgram(child, "", 10000);
  return run.started && run.exit_code != 0xDEAD ? run.text : std::string();
}

}  // namespace qor::test
