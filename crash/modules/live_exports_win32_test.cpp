#include "crash/modules/live_exports.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crash/modules/cached_memory.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

struct NamedExport {
  std::string name;
  std::string forwarder;  // empty unless the entry points into the directory
};

// The export directory of a loaded module, read with the system's own
// structure definitions rather than with the code under test.
const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module, IMAGE_DATA_DIRECTORY& entry) {
  auto base = reinterpret_cast<const uint8_t*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
}

std::vector<NamedExport> ListNamedExports(HMODULE module) {
  auto base = reinterpret_cast<const uint8_t*>(module);
  IMAGE_DATA_DIRECTORY dir;
  const IMAGE_EXPORT_DIRECTORY* exports = ExportDirectory(module, dir);
  auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  auto ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  auto functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
  std::vector<NamedExport> list;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    NamedExport e{reinterpret_cast<const char*>(base + names[i]), ""};
    DWORD rva = functions[ordinals[i]];
    if (rva >= dir.VirtualAddress && rva < dir.VirtualAddress + dir.Size) {
      e.forwarder = reinterpret_cast<const char*>(base + rva);
    }
    list.push_back(e);
  }
  return list;
}

// Forwarders to API-set names resolve only through the system's loader.
bool ToApiSet(const NamedExport& e) {
  return _strnicmp(e.forwarder.c_str(), "api-ms-", 7) == 0 ||
         _strnicmp(e.forwarder.c_str(), "ext-ms-", 7) == 0;
}

// The lookup with everything but the system's own lookup, so that a table
// walk that finds nothing cannot borrow the expected answer.
uint32_t TableOnlyByName(HMODULE module, const std::string& name, bool check_file = false) {
  static const ExportHooks hooks = [] {
    ExportHooks h = LiveExportHooks();
    h.system_by_name = nullptr;
    h.system_by_ordinal = nullptr;
    return h;
  }();
  const LiveMemory live;
  return ExportAddressByName(CachedMemory(live), Address(module), name, check_file, hooks);
}

class LiveExports : public testing::TestWithParam<const char*> {};

TEST_P(LiveExports, EveryNamedExportMatchesTheSystemLookup) {
  HMODULE module = LoadLibraryA(GetParam());
  ASSERT_NE(module, nullptr);
  int checked = 0, api_set = 0, forwarded = 0;
  for (const NamedExport& e : ListNamedExports(module)) {
    if (ToApiSet(e)) {
      ++api_set;
      continue;
    }
    uint32_t expected = Address(reinterpret_cast<const void*>(GetProcAddress(module, e.name.c_str())));
    EXPECT_EQ(TableOnlyByName(module, e.name), expected) << e.name;
    ++checked;
    if (!e.forwarder.empty()) ++forwarded;
  }
  std::printf("%s: %d named exports checked (%d forwarded), %d API-set forwarders left out\n",
              GetParam(), checked, forwarded, api_set);
  EXPECT_GT(checked, 100);
}

class LiveExportNames : public testing::TestWithParam<const char*> {};

TEST_P(LiveExportNames, ExportNamesOfAddressesRoundTrip) {
  HMODULE module = GetModuleHandleA(GetParam());
  ASSERT_NE(module, nullptr);
  const uint32_t base = Address(module);
  for (const NamedExport& e : ListNamedExports(module)) {
    if (!e.forwarder.empty()) continue;
    uint32_t address = Address(reinterpret_cast<const void*>(GetProcAddress(module, e.name.c_str())));
    // An entry with RVA 0 names no code (Wine's kernel32 leaves FT_Thunk so):
    // there is no address to find a name for.
    if (address == 0) continue;
    // Aliases share an address, so the name found may be another one; it
    // must lead back to the same address.
    std::string name = LiveExportNameOfAddress(base, address, false);
    ASSERT_FALSE(name.empty()) << e.name;
    if (name[0] == '#') continue;
    EXPECT_EQ(LiveExportAddressByName(base, name), address) << e.name << " -> " << name;
  }
}

INSTANTIATE_TEST_SUITE_P(SystemModules, LiveExports,
                         testing::Values("kernel32.dll", "user32.dll", "ntdll.dll"));
INSTANTIATE_TEST_SUITE_P(SystemModules, LiveExportNames,
                         testing::Values("kernel32.dll", "user32.dll", "ntdll.dll"));

TEST(LiveExportsKernel32, ForwardedExportsResolveIntoTheirTargetModule) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  int resolved = 0;
  for (const NamedExport& e : ListNamedExports(kernel32)) {
    if (e.forwarder.empty() || ToApiSet(e)) continue;
    std::string target_name = e.forwarder.substr(0, e.forwarder.rfind('.'));
    // The system loads the target module when it resolves the forwarder; our
    // lookup only ever uses modules that are already loaded.
    ASSERT_NE(GetProcAddress(kernel32, e.name.c_str()), nullptr) << e.name;
    HMODULE target = GetModuleHandleA(target_name.c_str());
    ASSERT_NE(target, nullptr) << e.forwarder;
    uint32_t address = TableOnlyByName(kernel32, e.name);
    uint32_t base = 0;
    std::string file;
    ASSERT_TRUE(ModuleOfAddress(address, base, file)) << e.name << " -> " << e.forwarder;
    EXPECT_EQ(base, Address(target)) << e.name << " -> " << e.forwarder << " lands in " << file;
    ++resolved;
  }
  std::printf("kernel32: %d forwarded exports resolved\n", resolved);
  EXPECT_GT(resolved, 0);
}

TEST(LiveExportsKernel32, FileCheckAndOrdinalsAgreeWithTheSystem) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const uint32_t base = Address(kernel32);
  for (const char* name : {"GetTickCount", "VirtualQuery", "ReadProcessMemory", "CreateFileA"}) {
    uint32_t expected = Address(reinterpret_cast<const void*>(GetProcAddress(kernel32, name)));
    EXPECT_EQ(TableOnlyByName(kernel32, name, true), expected) << name << " through the file";
  }
  IMAGE_DATA_DIRECTORY entry;
  const IMAGE_EXPORT_DIRECTORY* dir = ExportDirectory(kernel32, entry);
  for (DWORD ordinal = dir->Base; ordinal < dir->Base + 20; ++ordinal) {
    uint32_t expected =
        Address(reinterpret_cast<const void*>(GetProcAddress(kernel32, MAKEINTRESOURCEA(ordinal))));
    EXPECT_EQ(LiveExportAddressByOrdinal(base, ordinal), expected) << ordinal;
  }
}

TEST(LiveExportsKernel32, UnknownNamesFallBackToTheSystemAndFailThere) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  EXPECT_EQ(LiveExportAddressByName(Address(kernel32), "NoSuchExport_qor"), 0u);
  EXPECT_EQ(LiveExportNameOfAddress(Address(kernel32), Address(kernel32) + 1, false), "");
}

}  // namespace
}  // namespace qor
