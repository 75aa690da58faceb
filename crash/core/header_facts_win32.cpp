// The header's facts gathered from the collectors and from the program's
// own files.
#include <windows.h>

#include <optional>

#include "crash/attach/case_compare.h"
#include "crash/core/core_module.h"
#include "crash/core/settings.h"
#include "crash/core/system_facts_win32.h"
#include "crash/modules/file_version.h"
#include "crash/modules/guarded_call.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/os_version.h"

namespace qor {
namespace {

// A collector under its own guard: what raises or faults gives no value.
template <typename Collector>
auto Collect(Collector collector) {
  std::optional<decltype(collector())> value;
  try {
    if (!Guarded([&] { value = collector(); })) value.reset();
  } catch (...) {
    value.reset();
  }
  return value;
}

TReportTime ReportTime(const SYSTEMTIME& time) {
  return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
          time.wMilliseconds};
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExecutablePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length < sizeof path ? length : 0);
}

std::string DiskFreeOfBoth(const std::string& executable) {
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  std::string text = DiskFreeText(windows[0]);
  if (!executable.empty() && !SameCharNoCase(executable[0], windows[0])) {
    const std::string other = DiskFreeText(executable[0]);
    if (!other.empty()) text += " " + other;
  }
  return text;
}

// Last write of `path` in local time; false when the file cannot be found
// or its time not converted.
bool FileTime(const std::string& path, bool& found, TReportTime& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  found = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
  FILETIME local;
  SYSTEMTIME system;
  if (!found || !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToSystemTime(&local, &system)) {
    return false;
  }
  time = ReportTime(system);
  return true;
}

std::string ProgramVersion(const std::string& module_path) {
  const char* const* own = ExceptSettings.VersionText;
  if (own && *own && **own) return *own;
  const uint64_t version = FileVersion(module_path);
  return version ? VersionText(version) : std::string();
}

void AddModuleFacts(TSystemFacts& facts, const std::string& executable) {
  const std::string module = ModuleFileName(CoreModule());
  if (!EqualNoCase(module, executable)) facts.CurrentModule = module;
  facts.ModuleIsExecutable = CoreInExecutable();
  bool found = false;
  TReportTime time;
  if (FileTime(module, found, time)) facts.ModuleTime = ModuleTimeText(time);
  if (!found) return;
  const std::string version = ProgramVersion(module);
  if (!version.empty()) facts.Version = version;
}

std::optional<std::string> BdeVersion() {
  const HMODULE bde = GetModuleHandleA("idapi32.dll");
  if (!bde) return std::nullopt;
  const uint64_t version = FileVersion(ModuleFileName(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bde))));
  if (version == 0) return std::nullopt;
  return VersionText(version);
}

}  // namespace

TSystemFacts CollectSystemFacts(uint64_t start_time) {
  TSystemFacts facts;
  SYSTEMTIME now;
  GetLocalTime(&now);
  facts.Now = ReportTime(now);
  facts.ComputerName = Collect(ComputerNameText);
  facts.TerminalClient = Collect(TerminalClientText);
  facts.UserName = Collect(UserNameText);
  facts.OsVersion = Collect(OsVersionText);
  facts.OsLanguage = Collect(OsLanguageText);
  facts.SystemUpTime = Collect(SystemUpTimeText);
  facts.ProgramUpTime = Collect([&] { return ProgramUpTimeText(start_time); });
  facts.ProcessorName = Collect(ProcessorNameText);
  facts.ProcessorCount = Collect(ProcessorCount).value_or(1);
  facts.PhysicalMemory = Collect(PhysicalMemoryText);
  if (CurrentOs().Is9x) facts.SystemResources = Collect(SystemResourcesText);
  const std::string executable = ExecutablePath();
  facts.DiskFree = Collect([&] { return DiskFreeOfBoth(executable); }).value_or("");
  facts.DisplayMode = Collect(DisplayModeText);
  facts.ProcessId = GetCurrentProcessId();
  facts.AllocatedMemory = Collect(AllocatedMemoryText);
  if (ExceptSettings.ShowCommandLine && HasParameters(GetCommandLineA())) {
    facts.CommandLine = GetCommandLineA();
  }
  if (!executable.empty()) facts.Executable = FileNameOf(executable);
  Collect([&] {
    AddModuleFacts(facts, executable);
    return true;
  });
  facts.BdeVersion = Collect(BdeVersion).value_or(std::nullopt);
  return facts;
}

}  // namespace qor
