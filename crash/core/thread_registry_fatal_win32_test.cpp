// The registry's fatal start-up paths: the child program finds the
// registry's name taken, shows its message box and ends with exit code 0.
// The test reads the message box and presses its button. The same child
// in Wine's win98 mode lists its threads through Toolhelp.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

constexpr char kChild[] = "thread_registry_win32_test_child.exe";
constexpr int kMaxWaits = 600;  // of 50 ms: the child gets 30 s
constexpr char kAppDefaults[] =
    "Software\\Wine\\AppDefaults\\thread_registry_win32_test_child.exe";

class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }
  void reset() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

struct ChildRun {
  bool started = false;
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;
  std::string box_caption;
  std::string box_text;
};

struct BoxSearch {
  DWORD process;
  HWND window = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  // A box still being built has no text yet: wait until it shows.
  if (process != search->process || std::string(class_name) != "#32770" ||
      !IsWindowVisible(window) || GetWindowTextLengthA(GetDlgItem(window, 0xFFFF)) == 0) {
    return TRUE;
  }
  search->window = window;
  return FALSE;
}

// Runs the child with `mode`; when it shows a message box, reads it and
// presses its button.
ChildRun RunChild(const char* mode) {
  ChildRun run;
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command(path, length);
  command = command.substr(0, command.rfind('\\') + 1) + kChild + " " + mode;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handle read, write;
  if (!CreatePipe(read.out(), write.out(), &inherit, 0)) return run;
  SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write.get();
  startup.hStdError = write.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return run;
  }
  run.started = true;
  const Handle process_handle(process.hProcess), thread_handle(process.hThread);
  write.reset();
  // Until the child ends: look for its message box and answer it.
  for (int waits = 0; WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT; ++waits) {
    if (waits == kMaxWaits) {
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, INFINITE);
      break;
    }
    BoxSearch search{process.dwProcessId};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.window == nullptr || !run.box_caption.empty()) continue;
    char text[256] = {};
    GetWindowTextA(search.window, text, sizeof text);
    run.box_caption = text;
    GetDlgItemTextA(search.window, 0xFFFF, text, sizeof text);  // the message's static text
    run.box_text = text;
    PostMessageA(search.window, WM_COMMAND, IDOK, 0);
  }
  // Only what is there: a process the child started (Wine's desktop
  // process, for its message box) may hold the pipe open for good.
  char buffer[256];
  DWORD available = 0, got = 0;
  while (PeekNamedPipe(read.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    run.output.append(buffer, got);
  }
  GetExitCodeProcess(process.hProcess, &run.exit_code);
  return run;
}

// The child's report: "joined", the family, its main thread, the threads.
void ExpectMainThreadFirst(const std::string& output, const std::string& family) {
  std::istringstream words(output);
  std::string joined, listed_family;
  unsigned main_thread = 0, first_listed = 0;
  words >> joined >> listed_family >> main_thread >> first_listed;
  EXPECT_EQ(joined, "joined") << output;
  EXPECT_EQ(listed_family, family);
  EXPECT_NE(main_thread, 0u);
  EXPECT_EQ(first_listed, main_thread);
}

TEST(ThreadRegistryFatal, ANameTakenByAnotherKindOfObject) {
  const ChildRun run = RunChild("mutex");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.box_caption, "qorExcept");
  EXPECT_EQ(run.box_text, "internal error");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "") << "the program did not go on";
}

TEST(ThreadRegistryFatal, AMappingOfTheWrongSize) {
  const ChildRun run = RunChild("mapping");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.box_caption, "qorExcept");
  // The view maps (a page holds the 20 bytes), but what it shows is no
  // registry: no user, no mutex.
  EXPECT_EQ(run.box_text, "internal error");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "");
}

TEST(ThreadRegistryFatal, ANormalStartGoesOn) {
  const ChildRun run = RunChild("list");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.box_caption, "");
  EXPECT_EQ(run.exit_code, 3u);
  ExpectMainThreadFirst(run.output, "nt");
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(ThreadRegistryFatal, The9xFamilyListsThreadsThroughToolhelp) {
  if (!UnderWine()) GTEST_SKIP() << "the version mode is a setting of Wine";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
  RegCloseKey(key);
  const ChildRun run = RunChild("list");
  RegDeleteKeyA(HKEY_CURRENT_USER, kAppDefaults);
  EXPECT_EQ(run.exit_code, 3u);
  ExpectMainThreadFirst(run.output, "9x");
}

}  // namespace
