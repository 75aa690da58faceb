// Drives Uninstall.exe as a user would, under Wine: simulated instruments are
// created with the fixture tool, the program's window is read and clicked,
// and the device database is inspected afterwards.
//   uninstall_gui_test <Uninstall.exe> <varnel_fixture.exe>
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/form1_ids.h"

namespace {

std::string g_uninstall_exe;
std::string g_fixture_exe;

const char kCaption[] = "Uninstall Varnel USB drivers";
const char kRestartQuestion[] =
    "Before the instrument can be connected again, the computer needs to be restarted.\n"
    "Restart now?";

// Simulated devices: installed kinds, the hidden K3 kind and another vendor's device.
const char kD805[] = "USB\\VID_7A5C&PID_0011&REV_0100";
const char kQ3[] = "USB\\VID_7A5C&PID_0008&REV_0100";
const char kQ2[] = "USB\\VID_7A5C&PID_0010&REV_0100";
const char kAdapter[] = "USB\\VID_7A5C&PID_00FD&REV_0100";
const char kK3[] = "USB\\VID_7A5C&PID_0014&REV_0100";
const char kOther[] = "USB\\VID_1234&PID_5678&REV_0100";

// Wine maps the Unix root to drive Z:.
std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string result = "Z:" + path;
  for (char& c : result)
    if (c == '/') c = '\\';
  return result;
}

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return handle_; }
  void Reset(HANDLE handle) {
    if (handle_) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_;
};

// Starts a program; returns false when it cannot be started.
bool Start(const std::string& command_line, PROCESS_INFORMATION& info) {
  STARTUPINFOA startup = {sizeof(startup)};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info) != FALSE;
}

DWORD RunFixture(const std::string& arguments) {
  PROCESS_INFORMATION info = {};
  if (!Start("\"" + WindowsPath(g_fixture_exe) + "\" " + arguments, info)) return ~0u;
  ScopedHandle process(info.hProcess), thread(info.hThread);
  if (WaitForSingleObject(info.hProcess, 120000) != WAIT_OBJECT_0) return ~0u;
  DWORD code = ~0u;
  GetExitCodeProcess(info.hProcess, &code);
  return code;
}

bool WaitFor(const std::function<bool()>& condition, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return condition();
}

std::string TextOf(HWND window) {
  char text[512] = {};
  // WM_GETTEXT reads the text of a window of another process as well.
  SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

struct ControlState {
  bool visible = false;
  bool enabled = false;
  bool checked = false;
  std::string text;
  POINT position = {-1, -1};
};

ControlState Read(HWND form, int id) {
  ControlState state;
  HWND control = GetDlgItem(form, id);
  if (!control) return state;
  state.visible = IsWindowVisible(control) != FALSE;
  state.enabled = IsWindowEnabled(control) != FALSE;
  state.checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
  state.text = TextOf(control);
  RECT rect;
  GetWindowRect(control, &rect);
  state.position = {rect.left, rect.top};
  ScreenToClient(form, &state.position);
  return state;
}

int BoxId(int kind) { return app::kFirstCheckBoxId + kind; }
enum Kind { K3, D805, Q4Diff, Q4, Q3, Q2, K2, D801 };

// Visits the devices of the database whose hardware ids contain `id`
// (compared as the device lists them, ignoring case).
void ForEachDeviceWith(const std::string& id,
                       const std::function<void(HDEVINFO, SP_DEVINFO_DATA&)>& visit) {
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVINFO_DATA device = {sizeof(device)};
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    char ids[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(ids), sizeof(ids) - 2, nullptr))
      continue;
    for (const char* p = ids; *p; p += strlen(p) + 1)
      if (lstrcmpiA(p, id.c_str()) == 0) visit(set, device);
  }
  SetupDiDestroyDeviceInfoList(set);
}

int CountDevicesWith(const std::string& id) {
  int count = 0;
  ForEachDeviceWith(id, [&](HDEVINFO, SP_DEVINFO_DATA&) { ++count; });
  return count;
}

// Gives each device with `id` a hardware key, so that its deletion shows.
// An installed device has both keys: the hardware key and the driver's
// software key. (Wine deletes the hardware key of DIREG_BOTH only after the
// software key, so a device without one would keep the other.)
void CreateDeviceKeys(const std::string& id) {
  ForEachDeviceWith(id, [](HDEVINFO set, SP_DEVINFO_DATA& device) {
    for (DWORD type : {DIREG_DEV, DIREG_DRV}) {
      HKEY key = SetupDiCreateDevRegKeyA(set, &device, DICS_FLAG_GLOBAL, 0, type, nullptr, nullptr);
      ASSERT_NE(key, INVALID_HANDLE_VALUE) << type;
      RegCloseKey(key);
    }
  });
}

bool HasDeviceKey(const std::string& id, DWORD type) {
  bool found = false;
  ForEachDeviceWith(id, [&](HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, type, KEY_READ);
    if (key != INVALID_HANDLE_VALUE) {
      found = true;
      RegCloseKey(key);
    }
  });
  return found;
}

// The boxes' enabled and checked states as one text, "EC" per box in kind order.
std::string BoxStates(HWND form) {
  std::string states;
  for (int kind = K3; kind <= D801; ++kind) {
    ControlState box = Read(form, BoxId(kind));
    states += box.enabled ? 'E' : '-';
    states += box.checked ? 'C' : '-';
    states += ' ';
  }
  return states;
}

// A probe may be running again when the form is activated once more; wait
// until the boxes keep the same state for a few seconds.
std::string SettledBoxStates(HWND form) {
  std::string previous = BoxStates(form);
  for (int i = 0; i < 60; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::string now = BoxStates(form);
    if (now == previous) return now;
    std::printf("boxes: %s\n", now.c_str());
    previous = now;
  }
  return previous;
}

class UninstallWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunFixture("clear"), 0u);
    for (const char* id : {kD805, kQ3, kQ2, kAdapter, kK3, kOther}) {
      ASSERT_EQ(RunFixture(std::string("add ") + id), 0u) << id;
      CreateDeviceKeys(id);
      ASSERT_TRUE(HasDeviceKey(id, DIREG_DEV)) << id;
      ASSERT_TRUE(HasDeviceKey(id, DIREG_DRV)) << id;
    }
  }

  void TearDown() override {
    if (process_.Get() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.Get(), 3);
    RunFixture("clear");
  }

  HWND Launch() {
    PROCESS_INFORMATION info = {};
    if (!Start("\"" + WindowsPath(g_uninstall_exe) + "\"", info)) return nullptr;
    process_.Reset(info.hProcess);
    CloseHandle(info.hThread);
    process_id_ = info.dwProcessId;
    HWND form = nullptr;
    WaitFor([&] { return (form = FindWindowA(nullptr, kCaption)) != nullptr; }, 120);
    return form;
  }

  HWND FindConfirmBox() {
    HWND box = FindWindowA(nullptr, "Confirm");
    DWORD owner = 0;
    if (box) GetWindowThreadProcessId(box, &owner);
    return owner == process_id_ ? box : nullptr;
  }

  ScopedHandle process_;
  DWORD process_id_ = 0;
};

TEST_F(UninstallWindow, ProbesRemovesAndAsksForTheRestart) {
  HWND form = Launch();
  ASSERT_NE(form, nullptr) << "the main window did not appear";

  // The probe ends with Cancel enabled.
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180));
  std::printf("boxes after the probe: %s\n", SettledBoxStates(form).c_str());

  struct Expected {
    Kind kind;
    const char* caption;
    bool installed;
  } boxes[] = {
      {D805, "VarnelDESK D805", true},       {Q4Diff, "Quadrascan Q4 Diff", false},
      {Q4, "Quadrascan Q4", false},          {Q3, "Quadrascan Q3", true},
      {Q2, "Quadrascan Q2 + USB adapter", true}, {K2, "Quadrastik K2 + USB adapter", false},
      {D801, "VarnelDESK D801 + USB adapter", false},
  };
  for (const Expected& box : boxes) {
    ControlState state = Read(form, BoxId(box.kind));
    EXPECT_EQ(state.text, box.caption);
    EXPECT_TRUE(state.visible) << box.caption;
    EXPECT_EQ(state.enabled, box.installed) << box.caption;
    EXPECT_EQ(state.checked, box.installed) << box.caption;
  }
  // K3 is installed, but its box is hidden, never probed and never ticked.
  ControlState k3 = Read(form, BoxId(K3));
  EXPECT_FALSE(k3.visible);
  EXPECT_FALSE(k3.enabled);
  EXPECT_FALSE(k3.checked);

  EXPECT_EQ(Read(form, app::kLabel1Id).text,
            "This utility will remove the Varnel USB drivers from your system.");
  EXPECT_EQ(Read(form, app::kLabel2Id).text,
            "Disconnect the instrument from the computer and (if applicable) the external power "
            "supply.");
  ControlState continue_button = Read(form, app::kContinueBtnId);
  ControlState cancel_button = Read(form, app::kCancelBtnId);
  EXPECT_EQ(continue_button.text, "Continue");
  EXPECT_EQ(cancel_button.text, "Cancel");
  EXPECT_TRUE(continue_button.enabled) << "Wine's user is an administrator";
  EXPECT_EQ(continue_button.position.x, 259);
  EXPECT_EQ(cancel_button.position.x, 342);
  EXPECT_EQ(continue_button.position.y, 272);

  PostMessageA(GetDlgItem(form, app::kContinueBtnId), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindConfirmBox()) != nullptr; }, 300))
      << "no restart question";
  EXPECT_EQ(TextOf(GetDlgItem(box, 100)), kRestartQuestion);
  EXPECT_EQ(TextOf(GetDlgItem(box, IDYES)), "&Yes");
  HWND no = GetDlgItem(box, IDNO);
  ASSERT_NE(no, nullptr);
  EXPECT_EQ(TextOf(no), "&No");
  PostMessageA(no, BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return FindConfirmBox() == nullptr; }, 60));

  // Declining leaves the question in Label2; the window is activated again
  // and probes once more, which ends by enabling Continue for an administrator.
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kContinueBtnId).enabled; }, 300))
      << "no second probe after the question closed";
  EXPECT_EQ(Read(form, app::kLabel1Id).text, "USB drivers are now removed from your system.");
  EXPECT_EQ(Read(form, app::kLabel2Id).text, kRestartQuestion);
  EXPECT_EQ(Read(form, app::kCancelBtnId).text, "Exit");

  // K3's and the other vendor's device are untouched.
  EXPECT_TRUE(HasDeviceKey(kK3, DIREG_DEV));
  EXPECT_TRUE(HasDeviceKey(kOther, DIREG_DEV));
  EXPECT_EQ(CountDevicesWith(kOther), 1);
  EXPECT_EQ(CountDevicesWith(kK3), 1);

  // Wine 8 does not implement SetupDiSetClassInstallParamsA, so the class
  // installer is never asked to remove the device nodes: they stay, and the
  // second probe ticks their kinds again. On Windows they would be gone.
  for (const char* id : {kD805, kQ3, kQ2, kAdapter}) EXPECT_EQ(CountDevicesWith(id), 1) << id;
  EXPECT_TRUE(Read(form, BoxId(D805)).checked);

  PostMessageA(GetDlgItem(form, app::kCancelBtnId), BM_CLICK, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process_.Get(), 60000), WAIT_OBJECT_0) << "Exit did not end it";
  DWORD code = ~0u;
  GetExitCodeProcess(process_.Get(), &code);
  EXPECT_EQ(code, 0u);
}

// The walk deletes both keys of every device of a ticked kind (DIREG_BOTH),
// and no key of a device outside them.
TEST_F(UninstallWindow, RemovalDeletesTheDeviceKeysOfTickedKinds) {
  HWND form = Launch();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180));
  SettledBoxStates(form);
  PostMessageA(GetDlgItem(form, app::kContinueBtnId), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindConfirmBox()) != nullptr; }, 300));
  PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  for (const char* id : {kD805, kQ3, kQ2, kAdapter}) {
    EXPECT_FALSE(HasDeviceKey(id, DIREG_DEV)) << id;
    EXPECT_FALSE(HasDeviceKey(id, DIREG_DRV)) << id;
  }
  for (const char* id : {kK3, kOther}) {
    EXPECT_TRUE(HasDeviceKey(id, DIREG_DEV)) << id;
    EXPECT_TRUE(HasDeviceKey(id, DIREG_DRV)) << id;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    fprintf(stderr, "usage: uninstall_gui_test <Uninstall.exe> <varnel_fixture.exe>\n");
    return 2;
  }
  g_uninstall_exe = argv[1];
  g_fixture_exe = argv[2];
  return RUN_ALL_TESTS();
}
