#include "tests/e2e/e2e_support_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/form1_ids.h"

namespace e2e {

std::string g_uninstall_exe;
std::string g_fixture_exe;

int BoxId(int kind) { return app::kFirstCheckBoxId + kind; }

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string result = "Z:" + path;
  for (char& c : result)
    if (c == '/') c = '\\';
  return result;
}

bool Start(const std::string& command_line, PROCESS_INFORMATION& info) {
  STARTUPINFOA startup = {sizeof(startup)};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info) != FALSE;
}

DWORD RunFixture(const std::string& arguments) {
  PROCESS_INFORMATION info = {};
  // A fresh 64-bit Wine prefix has been seen to refuse a process start now
  // and then while it is busy; the fixture only sets up the test, so its
  // start is tried again, and each refusal is shown.
  const std::string command = "\"" + WindowsPath(g_fixture_exe) + "\" " + arguments;
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    started = Start(command, info);
    if (!started) std::fprintf(stderr, "starting the fixture failed, error %lu\n", GetLastError());
  }
  if (!started) return ~0u;
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

void ForEachDeviceWith(const std::string& id,
                       const std::function<void(HDEVINFO, SP_DEVINFO_DATA&)>& visit) {
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device = {sizeof(device)};
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    char ids[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(ids), sizeof(ids) - 2, nullptr))
      continue;
    for (const char* p = ids; *p; p += std::strlen(p) + 1)
      if (lstrcmpiA(p, id.c_str()) == 0) visit(set, device);
  }
  SetupDiDestroyDeviceInfoList(set);
}

int CountDevicesWith(const std::string& id) {
  int count = 0;
  ForEachDeviceWith(id, [&](HDEVINFO, SP_DEVINFO_DATA&) { ++count; });
  return count;
}

std::string InstanceIdOf(const std::string& id) {
  std::string instance;
  ForEachDeviceWith(id, [&](HDEVINFO set, SP_DEVINFO_DATA& device) {
    char buffer[MAX_PATH] = {};  // instance ids are at most 200 characters
    if (instance.empty() &&
        SetupDiGetDeviceInstanceIdA(set, &device, buffer, sizeof(buffer), nullptr)) {
      instance = buffer;
    }
  });
  return instance;
}

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

std::string WindowsDirectory() {
  char buffer[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, length < MAX_PATH ? length : 0);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ServiceExists(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return false;
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return service != nullptr;
}

SC_HANDLE MarkForDeletion(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return nullptr;
  SC_HANDLE service = OpenServiceA(manager, name, DELETE);
  CloseServiceHandle(manager);
  if (service && !DeleteService(service)) {
    CloseServiceHandle(service);
    return nullptr;
  }
  return service;
}

void DeleteServiceIfPresent(const char* name) {
  SC_HANDLE service = MarkForDeletion(name);
  if (service) CloseServiceHandle(service);
}

UninstallProgram::~UninstallProgram() { Terminate(); }

void UninstallProgram::Terminate() {
  if (process_.Get() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT)
    TerminateProcess(process_.Get(), 3);
}

HWND UninstallProgram::Launch() {
  PROCESS_INFORMATION info = {};
  if (!Start("\"" + WindowsPath(g_uninstall_exe) + "\"", info)) return nullptr;
  process_.Reset(info.hProcess);
  CloseHandle(info.hThread);
  process_id_ = info.dwProcessId;
  // FindWindowA ignores case, so it also finds the window while its
  // controls are still being made, under the design caption; the exact
  // caption is set once the window is complete.
  HWND form = nullptr;
  WaitFor([&] {
    form = FindWindowA(nullptr, kCaption);
    return form && TextOf(form) == kCaption;
  }, 120);
  return form && TextOf(form) == kCaption ? form : nullptr;
}

HWND UninstallProgram::FindConfirmBox() const {
  HWND box = FindWindowA(nullptr, "Confirm");
  DWORD owner = 0;
  if (box) GetWindowThreadProcessId(box, &owner);
  return owner == process_id_ ? box : nullptr;
}

bool UninstallProgram::RemoveTickedAndExit(HWND form, bool nt_family, std::string& failure) {
  auto cancel_enabled = [&] { return Read(form, app::kCancelBtnId).enabled; };
  if (!WaitFor(cancel_enabled, 180)) return failure = "the probe did not end", false;
  PostMessageA(GetDlgItem(form, app::kContinueBtnId), BM_CLICK, 0, 0);
  if (nt_family) {
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindConfirmBox()) != nullptr; }, 300))
      return failure = "no restart question after the removal", false;
    PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    if (!WaitFor([&] { return Read(form, app::kContinueBtnId).enabled; }, 300))
      return failure = "no second probe after the question", false;
  } else {
    // The 9x family is not asked to restart: the removal ends with Exit.
    auto exit_offered = [&] {
      ControlState cancel = Read(form, app::kCancelBtnId);
      return cancel.enabled && cancel.text == "Exit";
    };
    if (!WaitFor(exit_offered, 300)) return failure = "the removal did not end", false;
  }
  PostMessageA(GetDlgItem(form, app::kCancelBtnId), BM_CLICK, 0, 0);
  if (WaitForExit(60) != 0) return failure = "Exit did not end the program with code 0", false;
  return true;
}

DWORD UninstallProgram::WaitForExit(int seconds) {
  if (WaitForSingleObject(process_.Get(), seconds * 1000) != WAIT_OBJECT_0) return ~0u;
  DWORD code = ~0u;
  GetExitCodeProcess(process_.Get(), &code);
  return code;
}

}  // namespace e2e
