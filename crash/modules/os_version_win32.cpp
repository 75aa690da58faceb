#include "crash/modules/os_version.h"

#include <windows.h>

#include "crash/modules/elapsed_time.h"

namespace qor {
namespace {

constexpr int kMaxCsd = 128;

OsVersionNumbers QueryVersion() {
  OsVersionNumbers numbers;
  // The 9x family sets the top bit of the version value and has only the
  // ANSI query.
  if (GetVersion() & 0x80000000u) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return numbers;
    numbers = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
               info.szCSDVersion};
    return numbers;
  }
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) return numbers;
  char csd[kMaxCsd * 2 + 1] = {};
  int length = WideCharToMultiByte(CP_ACP, 0, info.szCSDVersion, -1, csd, sizeof csd, nullptr,
                                   nullptr);
  std::string text(csd, length > 0 ? length - 1 : 0);
  numbers = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
             text.substr(0, kMaxCsd)};
  return numbers;
}

}  // namespace

const TOS& CurrentOs() {
  static const TOS os = ClassifyOs(QueryVersion());
  return os;
}

uint32_t ElapsedSince(uint32_t start) { return ElapsedTicks(start, GetTickCount()); }

}  // namespace qor
