#include "crash/modules/module_tools.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "crash/modules/file_version.h"

namespace qor {
namespace {

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

bool EndsWith(const std::string& text, const char* tail) {
  size_t n = std::strlen(tail);
  return text.size() >= n && _stricmp(text.c_str() + text.size() - n, tail) == 0;
}

TEST(ModuleOfAddress, FindsTheImageThatHoldsCodeAndData) {
  static const int in_data = 1;
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const struct {
    const void* address;
    HMODULE module;
    const char* file_end;
  } cases[] = {
      {reinterpret_cast<const void*>(&ModuleOfAddress), GetModuleHandleA(nullptr), ".exe"},
      {&in_data, GetModuleHandleA(nullptr), ".exe"},
      {reinterpret_cast<const void*>(GetProcAddress(kernel32, "GetTickCount")), kernel32,
       "kernel32.dll"},
  };
  for (const auto& c : cases) {
    uint32_t base = 0xdeadbeef;
    std::string file;
    ASSERT_TRUE(ModuleOfAddress(Address(c.address), base, file));
    EXPECT_EQ(base, Address(c.module));
    EXPECT_TRUE(EndsWith(file, c.file_end)) << file;
    EXPECT_NE(file.find('\\'), std::string::npos) << "full path: " << file;
  }
}

TEST(ModuleOfAddress, RefusesMemoryOutsideModules) {
  int on_stack = 0;
  void* heap = HeapAlloc(GetProcessHeap(), 0, 16);
  uint32_t base = 0;
  std::string file;
  EXPECT_FALSE(ModuleOfAddress(0, base, file));
  EXPECT_FALSE(ModuleOfAddress(Address(&on_stack), base, file));
  EXPECT_FALSE(ModuleOfAddress(Address(heap), base, file));
  HeapFree(GetProcessHeap(), 0, heap);
}

TEST(ResourceAsString, GivesTheRawBytesOrNothing) {
  uint32_t kernel32 = Address(GetModuleHandleA("kernel32.dll"));
  // A version resource starts with its own length as a 16-bit value.
  std::string version = ResourceAsString(kernel32, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1));
  ASSERT_GE(version.size(), 6u);
  uint16_t length = 0;
  std::memcpy(&length, version.data(), 2);
  EXPECT_LE(length, version.size());
  EXPECT_GT(length, 0u);
  EXPECT_EQ(ResourceAsString(kernel32, "QOR", "EXCEPT"), "");
  EXPECT_EQ(ResourceAsString(kernel32, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(999)), "");
}

TEST(FileVersion, ReadsTheFixedBlockOfSystemFiles) {
  char path[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), path, MAX_PATH), 0u);
  uint64_t version = FileVersion(path);
  EXPECT_NE(version, 0u);
  std::printf("kernel32 file version %s\n", VersionText(version).c_str());
  ASSERT_NE(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
  EXPECT_EQ(FileVersion(path), 0u) << "the test program has no version resource";
  EXPECT_EQ(FileVersion("C:\\no\\such\\file.dll"), 0u);
}

}  // namespace
}  // namespace qor
