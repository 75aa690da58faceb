// The 9x paths, exercised in a child program that Wine runs in its win98
// version mode (set per executable under AppDefaults). On real Windows the
// setting means nothing, so the test runs only under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

constexpr char kChild[] = "os_version_9x_win32_test_child.exe";
constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\os_version_9x_win32_test_child.exe";

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Sets the child's version mode for the life of the object.
class Win98Mode {
 public:
  Win98Mode() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    set_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6) ==
           ERROR_SUCCESS;
    RegCloseKey(key);
  }
  Win98Mode(const Win98Mode&) = delete;
  Win98Mode& operator=(const Win98Mode&) = delete;
  ~Win98Mode() { RegDeleteKeyA(HKEY_CURRENT_USER, kAppDefaults); }
  bool set() const { return set_; }

 private:
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

// Runs the child beside this program and returns its standard output;
// empty when it could not be started or did not finish.
std::string RunChild() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command(path, length);
  command = command.substr(0, command.rfind('\\') + 1) + kChild;
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

TEST(Win98Mode, SystemFactsTakeThe9xPaths) {
  if (!UnderWine()) GTEST_SKIP() << "the version mode is a setting of Wine";
  Win98Mode mode;
  ASSERT_TRUE(mode.set());
  std::string output = RunChild();
  ASSERT_FALSE(output.empty()) << "child did not run";
  std::printf("%s", output.c_str());
  std::istringstream lines(output);
  unsigned is_9x = 0, kind = 0, free_system = 0, free_gdi = 0, free_user = 0;
  std::string version;
  lines >> is_9x >> kind >> version >> free_system >> free_gdi >> free_user;
  EXPECT_EQ(is_9x, 1u);
  // Wine's win98 mode reports 4.10.2222, the second edition.
  EXPECT_EQ(version, "4.10.2222");
  EXPECT_EQ(kind, 4u) << "Windows 98 SE";
  // The percentages come from the 16-bit user module through the 32-to-16
  // thunk. Wine 8's win98 mode answers 0 for all three (seen on Debian's
  // build); Windows 98 answers a share between 1 and 100.
  for (unsigned percent : {free_system, free_gdi, free_user}) EXPECT_LE(percent, 100u);
}

}  // namespace
