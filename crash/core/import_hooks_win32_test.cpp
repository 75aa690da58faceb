#include "crash/core/import_hooks.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "crash/core/core_module.h"
#include "crash/core/import_table.h"
#include "crash/core/module_list.h"
#include "crash/core/testing/core_test_dll.h"
#include "crash/modules/cached_memory.h"
#include "crash/modules/live_exports.h"
#include "crash/modules/safe_read.h"

// The import library's thunk for GetTickCount in this program.
extern "C" void GetTickCountImportThunk() __asm__("_GetTickCount@0");

namespace qor {
namespace {

constexpr DWORD kFakeTicks = 424242;

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

DWORD WINAPI FakeTickCount() { return kFakeTicks; }

// GetTickCount through this program's import table. The compiler takes
// the table's entries for constants and may reuse one it loaded before
// within a function; here every call loads it afresh.
__attribute__((noipa)) DWORD Ticks() { return GetTickCount(); }

uint32_t Replacement() { return Address(reinterpret_cast<const void*>(&FakeTickCount)); }
uint32_t Thunk() { return Address(reinterpret_cast<const void*>(&GetTickCountImportThunk)); }
uint32_t TestDll() { return Address(GetModuleHandleA("qor_core_test_dll.dll")); }

// Import table entries of every module that hold `value`.
size_t SlotsHolding(uint32_t value, size_t* modules_with_slots = nullptr) {
  size_t total = 0, modules = 0;
  for (const TModule& module : EnumModules(false)) {
    std::vector<uint32_t> slots;
    const LiveMemory live;
    FindImportSlots(CachedMemory(live), module.Handle, value, slots);
    total += slots.size();
    modules += !slots.empty();
  }
  if (modules_with_slots) *modules_with_slots = modules;
  return total;
}

TEST(EnumModules, EveryLoadedModuleInAscendingOrder) {
  const TDAModule modules = EnumModules(true);
  ASSERT_GE(modules.size(), 3u);
  bool has_program = false, has_kernel32 = false, has_dll = false;
  for (size_t i = 0; i < modules.size(); ++i) {
    const TModule& module = modules[i];
    if (i > 0) {
      EXPECT_LT(modules[i - 1].Handle, module.Handle);
    }
    EXPECT_EQ(module.Directory.back(), '\\') << module.FileName;
    EXPECT_EQ(module.FileName.find('\\'), std::string::npos);
    has_program |= module.Handle == Address(GetModuleHandleA(nullptr));
    has_dll |= module.Handle == TestDll() && module.FileName == "qor_core_test_dll.dll";
    if (lstrcmpiA(module.FileName.c_str(), "kernel32.dll") == 0) {
      has_kernel32 = true;
      EXPECT_FALSE(module.Version.empty()) << "kernel32 has a version resource";
    }
  }
  EXPECT_TRUE(has_program);
  EXPECT_TRUE(has_kernel32);
  EXPECT_TRUE(has_dll);
  EXPECT_TRUE(EnumModules(false).front().Version.empty());
}

TEST(HookImport, AnImportIsReplacedInEveryModuleAndRestored) {
  CoreDllTickCount();  // the library imports it too
  uint32_t real = 0;
  ASSERT_TRUE(HookImport("kernel32.dll", "GetTickCount", Thunk(), Replacement(), real));
  const uint32_t hooked = real;
  EXPECT_EQ(hooked, LiveExportAddressByName(Address(GetModuleHandleA("kernel32.dll")),
                                            "GetTickCount"));
  EXPECT_EQ(Ticks(), kFakeTicks);
  EXPECT_EQ(CoreDllTickCount(), kFakeTicks) << "the library's table as well";
  size_t modules = 0;
  EXPECT_EQ(SlotsHolding(hooked), 0u) << "no table still leads to the real routine";
  EXPECT_GE(SlotsHolding(Replacement(), &modules), 2u);
  EXPECT_GE(modules, 2u);
  EXPECT_FALSE(HookImport("kernel32.dll", "GetTickCount", Thunk(), Replacement(), real))
      << "hooked already";

  UnhookImport(Thunk(), Replacement(), real);
  EXPECT_EQ(real, 0u);
  EXPECT_EQ(SlotsHolding(Replacement()), 0u);
  EXPECT_NE(Ticks(), kFakeTicks);
  EXPECT_NE(CoreDllTickCount(), kFakeTicks);
}

TEST(HookImport, UnknownRoutinesAndLibrariesChangeNothing) {
  uint32_t real = 0;
  EXPECT_FALSE(HookImport("kernel32.dll", "NoSuchRoutine", 0, Replacement(), real));
  EXPECT_FALSE(HookImport("nosuch.dll", "GetTickCount", 0, Replacement(), real));
  EXPECT_EQ(real, 0u);
}

// The test library's import directory, shrunk in memory to its first
// descriptor, so that its address tables lie beyond it.
class ShrunkImportDirectory {
 public:
  ShrunkImportDirectory() {
    const uint32_t base = TestDll();
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(uintptr_t{base});
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(uintptr_t{base} + dos->e_lfanew);
    entry_ = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    VirtualProtect(entry_, sizeof *entry_, PAGE_READWRITE, &protect_);
    size_ = entry_->Size;
    entry_->Size = sizeof(IMAGE_IMPORT_DESCRIPTOR);
  }
  ShrunkImportDirectory(const ShrunkImportDirectory&) = delete;
  ShrunkImportDirectory& operator=(const ShrunkImportDirectory&) = delete;
  ~ShrunkImportDirectory() {
    entry_->Size = size_;
    DWORD ignored = 0;
    VirtualProtect(entry_, sizeof *entry_, protect_, &ignored);
  }

 private:
  IMAGE_DATA_DIRECTORY* entry_;
  DWORD size_ = 0;
  DWORD protect_ = 0;
};

TEST(ReplaceImports, AModuleWithTablesOutsideItsDirectoryIsLeftAlone) {
  const uint32_t real = LiveExportAddressByName(Address(GetModuleHandleA("kernel32.dll")),
                                                "GetTickCount");
  {
    const ShrunkImportDirectory shrunk;
    EXPECT_FALSE(ReplaceImports(TestDll(), real, Replacement()));
    EXPECT_NE(CoreDllTickCount(), kFakeTicks);
  }
  ASSERT_TRUE(ReplaceImports(TestDll(), real, Replacement()));
  EXPECT_EQ(CoreDllTickCount(), kFakeTicks);
  EXPECT_TRUE(ReplaceImports(TestDll(), Replacement(), real));
  EXPECT_NE(CoreDllTickCount(), kFakeTicks);
}

TEST(CoreModule, TheProgramOrTheLibraryThatCarriesIt) {
  EXPECT_EQ(CoreModule(), Address(GetModuleHandleA(nullptr)));
  EXPECT_TRUE(CoreInExecutable());
  EXPECT_EQ(Address(CoreDllCoreModule()), TestDll());
}

TEST(HookImport, ACoreInALibraryHooksOnlyThatLibrary) {
  ASSERT_TRUE(CoreDllHookTickCount(&FakeTickCount));
  EXPECT_EQ(CoreDllTickCount(), kFakeTicks);
  EXPECT_NE(Ticks(), kFakeTicks) << "the program's table is not the library's to change";
  CoreDllUnhookTickCount(&FakeTickCount);
  EXPECT_NE(CoreDllTickCount(), kFakeTicks);
}

}  // namespace
}  // namespace qor
