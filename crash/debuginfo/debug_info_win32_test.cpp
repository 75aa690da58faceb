#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/debuginfo/debug_info_live.h"

namespace qor {
namespace {

// Something of our own with a known name to look up.
__attribute__((noinline)) int MarkerFunction(int x) { return x * 7 + 1; }

uint32_t AddressOf(int (*function)(int)) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(function));
}

TEST(DebugInfoWin32Test, ProgramCarriesItsResourceAndResolvesItsOwnCode) {
  EXPECT_NE(FindResourceA(nullptr, "EXCEPT", "QOR"), nullptr);
  const auto map = LiveDebugInfo(0);
  ASSERT_TRUE(map->Valid);
  const uint32_t address = AddressOf(MarkerFunction);
  AddressInfo info;
  ASSERT_TRUE(LiveAddressInfo(address + 1, info));
  EXPECT_EQ(info.public_name, "qor.(anonymous namespace).MarkerFunction");
  EXPECT_EQ(info.public_address, address);
  EXPECT_EQ(info.unit_name, "debug_info_win32_test.cpp");
  EXPECT_GT(info.line, 0);
  EXPECT_EQ(LiveProcedureName(address),
            "debug_info_win32_test.cpp.qor.(anonymous namespace).MarkerFunction");
}

TEST(DebugInfoWin32Test, CacheKeepsTheObjectWhileTheFileIsUnchanged) {
  EXPECT_EQ(LiveDebugInfo(0), LiveDebugInfo(AddressOf(MarkerFunction)));
}

TEST(DebugInfoWin32Test, ModuleWithoutDebugInformationGivesAnInvalidObject) {
  const auto address = static_cast<uint32_t>(
      reinterpret_cast<uintptr_t>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
  const auto map = LiveDebugInfo(address);
  EXPECT_FALSE(map->Valid);
  AddressInfo info;
  EXPECT_FALSE(LiveAddressInfo(address, info));
  EXPECT_EQ(LiveProcedureName(address), "");
}

TEST(DebugInfoWin32Test, ReplacedModuleFileIsLoadedAgain) {
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string copy = std::string(temp) + "qor_debuginfo_copy.exe";
  ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
  HMODULE module = LoadLibraryExA(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(module, nullptr);
  const uint32_t code = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module)) + 0x1000;
  const auto first = LiveDebugInfo(code);
  EXPECT_TRUE(first->Valid);
  EXPECT_EQ(LiveDebugInfo(code), first);

  HANDLE file = CreateFileA(copy.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME written;
  GetFileTime(file, nullptr, nullptr, &written);
  ULARGE_INTEGER later{{written.dwLowDateTime, written.dwHighDateTime}};
  later.QuadPart += 24ull * 3600 * 10000000;  // one day later
  written = {later.LowPart, later.HighPart};
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
  CloseHandle(file);

  const auto second = LiveDebugInfo(code);
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->Valid);
  FreeLibrary(module);
  DeleteFileA(copy.c_str());
}

}  // namespace
}  // namespace qor
