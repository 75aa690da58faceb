// The 9x paths, exercised in a child program that Wine runs in its win98
// version mode (set per executable under AppDefaults). On real Windows the
// setting means nothing, so the test runs only under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "crash/modules/testing/win98_mode_win32.h"

namespace {

using qor::test::RunChild;
using qor::test::UnderWine;
using qor::test::Win98Mode;

constexpr char kChild[] = "os_version_9x_win32_test_child.exe";

TEST(Win98Mode, SystemFactsTakeThe9xPaths) {
  if (!UnderWine()) GTEST_SKIP() << "the version mode is a setting of Wine";
  Win98Mode mode(kChild);
  ASSERT_TRUE(mode.set());
  std::string output = RunChild(kChild);
  ASSERT_FALSE(output.empty()) << "child did not run";
  std::printf("%s", output.c_str());
  std::istringstream lines(output);
  unsigned is_9x = 0, kind = 0, free_system = 0, free_gdi = 0, free_user = 0;
  std::string version;
  lines >> is_9x >> kind >> version >> free_system >> free_gdi >> free_user;
  EXPECT_EQ(is_9x, 1u);
  // Wine's win98 mode reports 4.10.2222, the second edition.
  EXPECT_EQ(version, "4.10.2222");
  EXPECT_EQ(kind, 4u) << "Windows 98 SE";
  // The percentages come from the 16-bit user module through the 32-to-16
  // thunk. Wine 8's win98 mode answers 0 for all three (seen on Debian's
  // build); Windows 98 answers a share between 1 and 100.
  for (unsigned percent : {free_system, free_gdi, free_user}) EXPECT_LE(percent, 100u);
}

}  // namespace
