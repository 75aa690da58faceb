#include "crash/core/settings_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "crash/core/testing/core_test_dll.h"

namespace qor {
namespace {

std::string LibraryAppName(AppNameUse use) {
  char text[MAX_PATH];
  CoreDllAppName(static_cast<int>(use), text, sizeof text);
  return text;
}

TEST(AppNameFor, TheProgramsOrTheCoreModulesName) {
  EXPECT_EQ(AppNameFor(AppNameUse::kDialogTitle), "qor_core_win32_test.exe");
  EXPECT_EQ(AppNameFor(AppNameUse::kMailSender), "qor_core_win32_test");
  EXPECT_EQ(AppNameFor(AppNameUse::kMailSubject), "qor_core_win32_test.exe");
  EXPECT_EQ(AppNameFor(AppNameUse::kBugReportFile), "qor_core_win32_test");
  // A core in a library names the library where the core module counts.
  EXPECT_EQ(LibraryAppName(AppNameUse::kDialogTitle), "qor_core_win32_test.exe");
  EXPECT_EQ(LibraryAppName(AppNameUse::kMailSender), "qor_core_win32_test");
  EXPECT_EQ(LibraryAppName(AppNameUse::kMailSubject), "qor_core_test_dll.dll");
  EXPECT_EQ(LibraryAppName(AppNameUse::kBugReportFile), "qor_core_test_dll");
}

}  // namespace
}  // namespace qor
