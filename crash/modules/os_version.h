// Which Windows release this is, classified from its version numbers.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

enum OsKind : uint8_t {
  kOsNone,
  kOsWindows95,
  kOsWindows95Osr2,
  kOsWindows98,
  kOsWindows98Se,
  kOsWindowsMe,
  kOsWindows9xNew,
  kOsWindowsNt3,
  kOsWindowsNt4,
  kOsWindows2000,
  kOsWindowsXp,
  kOsWindows2003,
  kOsWindowsNtNew,
};

// The facts about the running system that the report and the other units
// read. Field names follow the record the rest of the library expects.
struct TOS {
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint32_t Build = 0;
  std::string ServicePackText;  // the system's CSD text
  uint8_t Is9x = 0;
  uint8_t IsNT = 0;
  uint8_t Kind9x = kOsNone;
  uint8_t KindNT = kOsNone;
  uint8_t Kind = kOsNone;
  uint32_t ServicePack = 0;
  std::string Description;
};

// What the system's version query reports.
struct OsVersionNumbers {
  uint32_t platform = 0;  // 1: the 9x family, 2: the NT family
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::string csd;
};

// "Windows XP" and so on; "None" for a kind out of range.
const char* OsKindName(uint8_t kind);

// Classifies the numbers; does not call the system.
TOS ClassifyOs(const OsVersionNumbers& numbers);

// The running system, queried on the first call and cached (Windows only).
const TOS& CurrentOs();

}  // namespace qor
