#include "crash/modules/os_version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "crash/modules/elapsed_time.h"
#include "crash/modules/free_resources.h"
#include "crash/modules/thread_obfuscator.h"

namespace qor {
namespace {

TEST(CurrentOs, MatchesTheSystemQueryAndIsCached) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  const TOS& os = CurrentOs();
  EXPECT_EQ(&os, &CurrentOs());
  EXPECT_EQ(os.Major, info.dwMajorVersion);
  EXPECT_EQ(os.Minor, info.dwMinorVersion);
  EXPECT_EQ(os.IsNT, info.dwPlatformId == VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(os.ServicePackText, info.szCSDVersion);
  EXPECT_NE(os.Kind, kOsNone);
  std::printf("%s, %lu.%lu build %lu\n", os.Description.c_str(), (unsigned long)os.Major,
              (unsigned long)os.Minor, (unsigned long)os.Build);
}

TEST(CurrentOs, NtFamilyHasNoFreeResourcesAndNoThreadObfuscator) {
  if (!CurrentOs().IsNT) GTEST_SKIP() << "9x family: see the win98-mode test";
  EXPECT_EQ(FreeSystemResources(kFreeSystemResources), 0u);
  EXPECT_EQ(CurrentThreadObfuscator().value, 0u);
  EXPECT_FALSE(CurrentThreadObfuscator().marks_9x);
}

// Measured against the system's own tick count, not against Sleep: a loaded
// machine (or Wine's timer) may wake a sleeper early by a tick or two.
TEST(ElapsedSince, CountsTheSystemsTicks) {
  uint32_t start = GetTickCount() - 60000;
  uint32_t elapsed = ElapsedSince(start);
  uint32_t after = GetTickCount() - start;
  EXPECT_GE(elapsed, 60000u);
  EXPECT_LE(elapsed, after);
}

}  // namespace
}  // namespace qor
