#include "crash/core/system_facts_win32.h"

#include <windows.h>

#include <cstdio>

#include "crash/attach/case_compare.h"
#include "crash/attach/locale_number.h"
#include "crash/core/duration_text.h"
#include "crash/core/registry_value_win32.h"
#include "crash/delivery/library_win32.h"
#include "crash/modules/free_resources.h"
#include "crash/modules/os_version.h"

namespace qor {
namespace {

constexpr char kProcessorKey[] = "hardware\\description\\system\\centralProcessor\\";

std::string ProcessorKeyName(int index) {
  return RegistryText(HKEY_LOCAL_MACHINE, (kProcessorKey + std::to_string(index)).c_str(),
                      "ProcessorNameString");
}

uint64_t MegabytesRounded(uint64_t bytes) { return (bytes + 512 * 1024) / (1024 * 1024); }

// Releases a screen DC on every path.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

std::string ComputerNameText() {
  char name[260];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

std::string TerminalClientText() {
  if (!CurrentOs().IsNT || GetSystemMetrics(SM_REMOTESESSION) == 0) return {};
  using Query = BOOL(WINAPI*)(HANDLE, DWORD, int, char**, DWORD*);
  using Free = void(WINAPI*)(void*);
  const Library wtsapi("wtsapi32.dll");
  const auto query = wtsapi.Find<Query>("WTSQuerySessionInformationA");
  const auto free_memory = wtsapi.Find<Free>("WTSFreeMemory");
  if (!query || !free_memory) return {};
  constexpr DWORD kCurrentSession = 0xFFFFFFFF;
  constexpr int kClientName = 10;
  char* bytes = nullptr;
  DWORD count = 0;
  if (!query(nullptr, kCurrentSession, kClientName, &bytes, &count) || bytes == nullptr) return {};
  const std::string name = count > 1 ? std::string(bytes, count - 1) : std::string();
  free_memory(bytes);
  return name;
}

std::string UserNameText() {
  char name[260];
  DWORD size = sizeof name;
  if (!GetUserNameA(name, &size)) return {};
  return name;
}

std::string OsVersionText() {
  const TOS& os = CurrentOs();
  return os.Description + " build " + std::to_string(os.Build);
}

std::string OsLanguageText() {
  char name[128];
  if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SLANGUAGE, name, sizeof name) == 0) return {};
  return name;
}

std::string SystemUpTimeText() {
  LARGE_INTEGER counter{};
  LARGE_INTEGER frequency{};
  if (!QueryPerformanceCounter(&counter) || !QueryPerformanceFrequency(&frequency) ||
      counter.QuadPart == 0 || frequency.QuadPart == 0) {
    return {};
  }
  return DurationText(counter.QuadPart / frequency.QuadPart);
}

std::string ProgramUpTimeText(uint64_t start_time) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (start_time == 0) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return {};
    start_time = (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
  }
  const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  const int64_t milliseconds = ticks > start_time ? static_cast<int64_t>((ticks - start_time) / 10000) : 0;
  return UpTimeText(milliseconds);
}

std::string ProcessorNameText() {
  const std::string name = ProcessorKeyName(0);
  const size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

// The registry keeps one key per processor, but older readers stopped at
// sixteen; the system itself knows every processor it runs.
uint32_t ProcessorCount() {
  uint32_t count = 1;
  while (count < 16 && !ProcessorKeyName(static_cast<int>(count)).empty()) ++count;
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  if (info.dwNumberOfProcessors > count) count = info.dwNumberOfProcessors;
  using ActiveCount = DWORD(WINAPI*)(WORD);
  constexpr WORD kAllGroups = 0xFFFF;
  const auto active = ProcAddress<ActiveCount>(GetModuleHandleA("kernel32.dll"),
                                               "GetActiveProcessorCount");
  if (active && active(kAllGroups) > count) count = active(kAllGroups);
  return count;
}

// The extended query reports memory beyond 4 GB, which the old one cuts.
std::string PhysicalMemoryText() {
  uint64_t available = 0;
  uint64_t total = 0;
  using StatusEx = BOOL(WINAPI*)(MEMORYSTATUSEX*);
  const auto status_ex =
      ProcAddress<StatusEx>(GetModuleHandleA("kernel32.dll"), "GlobalMemoryStatusEx");
  MEMORYSTATUSEX extended{};
  extended.dwLength = sizeof extended;
  if (status_ex && status_ex(&extended)) {
    available = extended.ullAvailPhys;
    total = extended.ullTotalPhys;
  } else {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    available = status.dwAvailPhys;
    total = status.dwTotalPhys;
  }
  return std::to_string(MegabytesRounded(available)) + "/" +
         std::to_string(MegabytesRounded(total)) + " MB (free/total)";
}

std::string SystemResourcesText() {
  char text[32];
  std::snprintf(text, sizeof text, "%02u/%02u (gdi/user)",
                static_cast<unsigned>(FreeSystemResources(kFreeGdiResources)),
                static_cast<unsigned>(FreeSystemResources(kFreeUserResources)));
  return text;
}

std::string DiskFreeText(char letter) {
  if (letter == '\\') return {};
  std::string drive(1, letter);
  ToUpperText(drive);
  const char upper = drive[0];
  const char root[] = {upper, ':', '\\', '\0'};
  uint64_t free_bytes = 0;
  using SpaceEx = BOOL(WINAPI*)(const char*, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*);
  const auto space_ex =
      ProcAddress<SpaceEx>(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA");
  if (space_ex) {
    ULARGE_INTEGER caller{}, total{}, total_free{};
    if (space_ex(root, &caller, &total, &total_free)) free_bytes = total_free.QuadPart;
  } else {
    DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
    if (GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &clusters)) {
      free_bytes = uint64_t{sectors} * bytes * free_clusters;
    }
  }
  return std::string("(") + upper + ":) " + FormatByteSize(static_cast<int64_t>(free_bytes));
}

std::string DisplayModeText() {
  const ScreenDc screen;
  const int bits = screen.get() ? GetDeviceCaps(screen.get(), BITSPIXEL) * GetDeviceCaps(screen.get(), PLANES) : 0;
  return std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
         std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ", " + std::to_string(bits) + " bit";
}

std::string AllocatedMemoryText() {
  uint64_t committed = 0;
  uint64_t address = 0;
  uintptr_t last_base = 0;
  bool last_is_module = false;
  MEMORY_BASIC_INFORMATION info;
  while (address < 0x100000000ull &&
         VirtualQuery(reinterpret_cast<void*>(uintptr_t(address)), &info, sizeof info) == sizeof info) {
    if (info.State == MEM_COMMIT) {
      const uintptr_t base = reinterpret_cast<uintptr_t>(info.AllocationBase);
      // Regions of one allocation follow each other: ask once per allocation.
      if (base != last_base) {
        char name[MAX_PATH];
        // A null handle would name the executable.
        last_is_module = base != 0 &&
            GetModuleFileNameA(reinterpret_cast<HMODULE>(base), name, sizeof name) != 0;
        last_base = base;
      }
      if (!last_is_module) committed += info.RegionSize;
    }
    if (info.RegionSize == 0) break;
    address = uint64_t{reinterpret_cast<uintptr_t>(info.BaseAddress)} + info.RegionSize;
  }
  return FormatByteSize(static_cast<int64_t>(committed));
}

}  // namespace qor
