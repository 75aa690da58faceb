#include "crash/modules/os_version.h"

namespace qor {
namespace {

constexpr uint32_t kPlatformNt = 2;
constexpr uint32_t kPlatform9x = 1;

uint8_t Kind9x(uint32_t major, uint32_t minor, uint32_t build) {
  if (major <= 3) return kOsNone;
  if (major == 4 && minor < 10) return build <= 1000 ? kOsWindows95 : kOsWindows95Osr2;
  if (major == 4 && minor == 10) {
    if (build > 2700) return kOsWindowsMe;
    return build <= 2000 ? kOsWindows98 : kOsWindows98Se;
  }
  if (major == 4 && minor >= 11 && minor <= 90) return kOsWindowsMe;
  return kOsWindows9xNew;
}

uint8_t KindNt(uint32_t major, uint32_t minor) {
  if (major < 4) return kOsWindowsNt3;
  if (major == 4) return kOsWindowsNt4;
  if (major == 5 && minor <= 2) return static_cast<uint8_t>(kOsWindows2000 + minor);
  return kOsWindowsNtNew;
}

// "Service Pack 3" gives 3: the number starts at the 14th character.
uint32_t ServicePackNumber(const std::string& csd) {
  uint32_t number = 0;
  for (size_t i = 13; i < csd.size() && csd[i] >= '0' && csd[i] <= '9'; ++i) {
    number = number * 10 + static_cast<uint32_t>(csd[i] - '0');
  }
  return number;
}

}  // namespace

const char* OsKindName(uint8_t kind) {
  static const char* const kNames[] = {
      "None",         "Windows 95",   "Windows 95 OSR-2", "Windows 98", "Windows 98 SE",
      "Windows ME",   "Windows 9x New", "Windows NT 3",   "Windows NT 4", "Windows 2000",
      "Windows XP",   "Windows 2003", "Windows NT New"};
  return kind < sizeof kNames / sizeof kNames[0] ? kNames[kind] : kNames[0];
}

TOS ClassifyOs(const OsVersionNumbers& numbers) {
  TOS os;
  os.Major = numbers.major;
  os.Minor = numbers.minor;
  os.ServicePackText = numbers.csd;
  os.IsNT = numbers.platform == kPlatformNt;
  os.Is9x = !os.IsNT;
  // The 9x family keeps the release in the high word of the build number.
  os.Build = os.Is9x ? numbers.build & 0xffff : numbers.build;
  if (numbers.platform == kPlatform9x) os.Kind9x = Kind9x(os.Major, os.Minor, os.Build);
  if (os.IsNT) {
    os.KindNT = KindNt(os.Major, os.Minor);
    os.ServicePack = ServicePackNumber(numbers.csd);
  }
  os.Kind = os.IsNT ? os.KindNT : os.Kind9x;
  os.Description = OsKindName(os.Kind);
  if (os.Is9x && !numbers.csd.empty()) os.Description += " " + numbers.csd;
  return os;
}

}  // namespace qor
