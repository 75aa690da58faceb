// What the end-to-end tests share: starting programs, the fixture tool,
// waiting, reading another process's controls, and visiting devices of the
// Wine prefix's device database.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <functional>
#include <string>

namespace e2e {

// Set by each test program's main from its command line.
extern std::string g_uninstall_exe;
extern std::string g_fixture_exe;

inline constexpr char kCaption[] = "Uninstall Varnel USB drivers";

// Hardware ids of the simulated devices: installed kinds, the hidden K3
// kind and another vendor's device.
inline constexpr char kD805[] = "USB\\VID_7A5C&PID_0011&REV_0100";
inline constexpr char kQ3[] = "USB\\VID_7A5C&PID_0008&REV_0100";
inline constexpr char kQ2[] = "USB\\VID_7A5C&PID_0010&REV_0100";
inline constexpr char kAdapter[] = "USB\\VID_7A5C&PID_00FD&REV_0100";
inline constexpr char kK3[] = "USB\\VID_7A5C&PID_0014&REV_0100";
inline constexpr char kOther[] = "USB\\VID_1234&PID_5678&REV_0100";

// The instrument kinds in the order of their boxes, and a box's control id.
enum Kind { K3, D805, Q4Diff, Q4, Q3, Q2, K2, D801 };
int BoxId(int kind);

// Wine maps the Unix root to drive Z:.
std::string WindowsPath(const std::string& path);

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

// Starts a program; false when it cannot be started.
bool Start(const std::string& command_line, PROCESS_INFORMATION& info);

// Runs the fixture tool with `arguments` and returns its exit code (~0 when
// it could not run or did not end within two minutes).
DWORD RunFixture(const std::string& arguments);

// Polls `condition` every 100 ms for up to `seconds`.
bool WaitFor(const std::function<bool()>& condition, int seconds);

// The text of a window, also of another process.
std::string TextOf(HWND window);

struct ControlState {
  bool visible = false;
  bool enabled = false;
  bool checked = false;
  std::string text;
  POINT position = {-1, -1};
};

ControlState Read(HWND form, int id);

// Visits the devices of the database whose hardware ids contain `id`
// (compared as the device lists them, ignoring case).
void ForEachDeviceWith(const std::string& id,
                       const std::function<void(HDEVINFO, SP_DEVINFO_DATA&)>& visit);

int CountDevicesWith(const std::string& id);

// The instance id of the first device with `id`; empty when there is none.
std::string InstanceIdOf(const std::string& id);

// The Windows directory of the prefix; empty when it cannot be read.
std::string WindowsDirectory();

bool FileExists(const std::string& path);

bool ServiceExists(const char* name);

// Marks the service for deletion and returns the handle that keeps it in
// the database until it is closed; null on failure.
SC_HANDLE MarkForDeletion(const char* name);

// Deletes the service if it exists.
void DeleteServiceIfPresent(const char* name);

// Gives each device with `id` a hardware key, so that its deletion shows.
// An installed device has both keys: the hardware key and the driver's
// software key. (Wine deletes the hardware key of DIREG_BOTH only after the
// software key, so a device without one would keep the other.)
void CreateDeviceKeys(const std::string& id);

// True when a device with `id` has a key of `type` (DIREG_DEV, DIREG_DRV).
bool HasDeviceKey(const std::string& id, DWORD type);

// One run of Uninstall.exe: started, its window found, ended on every path.
class UninstallProgram {
 public:
  UninstallProgram() = default;
  UninstallProgram(const UninstallProgram&) = delete;
  UninstallProgram& operator=(const UninstallProgram&) = delete;
  ~UninstallProgram();

  // Starts the program and returns its main window, or null.
  HWND Launch();
  // The program's "Confirm" box, or null.
  HWND FindConfirmBox() const;
  // Clicks Continue after the probe; on the NT family declines the restart
  // question and waits for the second probe; then clicks Exit. False, with
  // `failure` saying where, when a step does not come.
  bool RemoveTickedAndExit(HWND form, bool nt_family, std::string& failure);
  // Waits for the end of the process; its exit code, or ~0 on a timeout.
  DWORD WaitForExit(int seconds);
  // Ends the process if it still runs.
  void Terminate();

 private:
  ScopedHandle process_;
  DWORD process_id_ = 0;
};

}  // namespace e2e
