#include "crash/core/system_facts_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "crash/attach/case_compare.h"
#include "crash/core/module_list.h"
#include "crash/core/registry_value_win32.h"
#include "crash/delivery/registry_key_win32.h"

namespace qor {
namespace {

TEST(SystemFacts, CollectorsAgreeWithTheSystem) {
  char name[260];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(ComputerNameText(), name);
  size = sizeof name;
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_EQ(UserNameText(), name);
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_GE(ProcessorCount(), info.dwNumberOfProcessors) << "no cap at sixteen";
  EXPECT_TRUE(std::regex_match(OsVersionText(), std::regex("Windows .* build [0-9]+")))
      << OsVersionText();
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
  const std::string total = std::to_string((memory.ullTotalPhys + 512 * 1024) >> 20);
  EXPECT_TRUE(std::regex_match(PhysicalMemoryText(), std::regex("[0-9]+/" + total + " MB \\(free/total\\)")))
      << PhysicalMemoryText() << ": the whole memory, also beyond 2 GB";
  EXPECT_TRUE(std::regex_match(DisplayModeText(), std::regex("[0-9]+x[0-9]+, [0-9]+ bit")))
      << DisplayModeText();
  EXPECT_TRUE(std::regex_match(DiskFreeText('c'), std::regex("\\(C:\\) [0-9.,]+ (Bytes|KB|MB|GB)")))
      << DiskFreeText('c');
  EXPECT_EQ(DiskFreeText('\\'), "") << "a network path";
  EXPECT_EQ(TerminalClientText(), "") << "not a remote session";
  EXPECT_NE(AllocatedMemoryText(), "0 Bytes") << "the heap and the stacks are committed";
}

TEST(SystemFacts, ProgramUpTimeSinceTheGivenStart) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  EXPECT_TRUE(std::regex_match(ProgramUpTimeText(ticks), std::regex("[0-9]+ milliseconds")));
  EXPECT_EQ(ProgramUpTimeText(ticks - 61 * 10000000ull - 5000000), "1 minute 1 second ");
}

TEST(SystemFacts, RegistryValuesByTheirType) {
  constexpr char kKey[] = "Software\\qor report test";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  const char text[] = "first\0second";
  RegSetValueExA(key, "text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegSetValueExA(key, "bytes", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), 7);
  const DWORD flags = 0x2c;
  RegSetValueExA(key, "flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof flags);
  RegCloseKey(key);

  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kKey, "text"), "first") << "up to the first NUL";
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kKey, "bytes"), std::string("first\0s", 7));
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kKey, "missing"), "");
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "Software\\no such key", "text"), "");
  uint32_t value = 0;
  EXPECT_TRUE(RegistryDword(HKEY_CURRENT_USER, kKey, "flags", value));
  EXPECT_EQ(value, 0x2cu);
  EXPECT_FALSE(RegistryDword(HKEY_CURRENT_USER, kKey, "bytes", value));
  RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

// Wine lists a few present devices (display, volumes, the root hubs of
// its buses); whatever it lists comes out in order, without volumes.
TEST(SystemFacts, HardwareOfTheSystemInOrder) {
  constexpr char kVolumeClass[] = "{71a27cdd-812a-11d0-bec7-08002be2f30b}";
  const std::string volumes = RegistryText(
      HKEY_LOCAL_MACHINE, (std::string("System\\CurrentControlSet\\Control\\Class\\") + kVolumeClass).c_str(),
      nullptr);
  THardwareList list;
  CollectHardware(list);
  ASSERT_FALSE(list.empty());
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) EXPECT_LE(CompareNoCase(list[i - 1].Name, list[i].Name), 0);
    EXPECT_FALSE(list[i].Devices.empty());
    for (size_t j = 1; j < list[i].Devices.size(); ++j) {
      EXPECT_LE(CompareNoCase(list[i].Devices[j - 1].Description, list[i].Devices[j].Description), 0);
    }
    EXPECT_NE(list[i].Name, volumes) << "volumes never show";
    EXPECT_NE(list[i].Name, kVolumeClass);
  }
}

TEST(SystemFacts, ModulesWithPathsVersionsAndDebugIds) {
  const TDAModule modules = EnumModules(true);
  const auto kernel = std::find_if(modules.begin(), modules.end(), [](const TModule& module) {
    return EqualNoCase(module.FileName, "kernel32.dll");
  });
  ASSERT_NE(kernel, modules.end());
  EXPECT_TRUE(EqualNoCase(kernel->Directory, "C:\\windows\\system32\\")) << kernel->Directory;
  EXPECT_TRUE(std::regex_match(kernel->Version, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+")));
  const uint32_t own = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  const auto program = std::find_if(modules.begin(), modules.end(),
                                    [&](const TModule& module) { return module.Handle == own; });
  ASSERT_NE(program, modules.end());
  EXPECT_EQ(program->DebugId.size(), 33u) << "GUID and age 1, from the build id";
  EXPECT_EQ(kernel->DebugId, "") << "Wine's libraries carry no build id";
}

}  // namespace
}  // namespace qor
