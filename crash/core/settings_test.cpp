#include "crash/core/settings.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

constexpr uint64_t kNow = 13'000'000'000;  // seconds since 1601, in 2012

TExceptTimes Burst(uint64_t newest_age, uint64_t oldest_age) {
  TExceptTimes times{};
  for (size_t i = 0; i < times.size(); ++i) {
    times[i] = kNow - (newest_age + (oldest_age - newest_age) * i / (times.size() - 1));
  }
  return times;
}

TEST(AutoActionDue, ZeroNeverOneAlways) {
  const TExceptTimes none{};
  EXPECT_FALSE(AutoActionDue(0, Burst(0, 5), kNow));
  EXPECT_TRUE(AutoActionDue(1, none, kNow));
}

TEST(AutoActionDue, TenRequestsWithinTheWindow) {
  EXPECT_TRUE(AutoActionDue(30, Burst(0, 30), kNow)) << "the oldest exactly 30 s ago";
  EXPECT_FALSE(AutoActionDue(30, Burst(0, 31), kNow)) << "the oldest 31 s ago";
  EXPECT_TRUE(AutoActionDue(2, Burst(0, 0), kNow)) << "ten in the same second";
}

TEST(AutoActionDue, NineRequestsAreNotEnough) {
  TExceptTimes times = Burst(0, 3);
  times[9] = 0;
  EXPECT_FALSE(AutoActionDue(30, times, kNow));
}

TEST(AutoActionDue, OneOldRequestSpoilsTheBurst) {
  TExceptTimes times = Burst(0, 3);
  times[9] = kNow - 3600;
  EXPECT_FALSE(AutoActionDue(30, times, kNow));
  EXPECT_TRUE(AutoActionDue(3600, times, kNow));
}

TEST(AutoActionDue, NegativeValuesCountAsLargeWindows) {
  TExceptTimes times = Burst(0, 3);
  times[9] = kNow - 100'000'000;  // three years ago
  EXPECT_TRUE(AutoActionDue(-1, times, kNow));
  EXPECT_TRUE(AutoActionDue(-2, Burst(0, 5), kNow));
  EXPECT_FALSE(AutoActionDue(-1, TExceptTimes{}, kNow)) << "still ten requests needed";
}

TEST(ScreenShotModeOf, SettingsSelectModes) {
  const std::pair<int32_t, int> cases[] = {{-5, -1},      {0, -1},      {4, 1},
                                           {51200, 2},    {102400, 3},  {307200, 4},
                                           {409600, 5},   {8, 0},       {1, 0}};
  for (const auto& [setting, mode] : cases) EXPECT_EQ(ScreenShotModeOf(setting), mode) << setting;
}

TEST(ExpandPlaceholders, ReplacesEachPlaceholderOnce) {
  EXPECT_EQ(ExpandPlaceholders("%APPNAME% failed:%LF%%exceptmsg%", "Uninstall.exe", "Disk full"),
            "Uninstall.exe failed:\r\nDisk full");
  // Text that comes in through a placeholder is not expanded again.
  EXPECT_EQ(ExpandPlaceholders("[%exceptMsg%]", "a", "50%LF% %appname%"), "[50%LF% %appname%]");
  EXPECT_EQ(ExpandPlaceholders("100% %appname", "a", "b"), "100% %appname");
}

TEST(AppNameOf, FileNameWithOrWithoutExtension) {
  EXPECT_EQ(AppNameOf("C:\\Program Files\\Varnel\\Uninstall.exe", true), "Uninstall.exe");
  EXPECT_EQ(AppNameOf("C:\\Program Files\\Varnel\\Uninstall.exe", false), "Uninstall");
  EXPECT_EQ(AppNameOf("C:\\dir.d\\tool", false), "tool");
  EXPECT_EQ(AppNameOf("D:report.tar.gz", false), "report.tar");
}

TEST(ShortText, LengthByteAndCapacity) {
  ShortText<4> text = "abc";
  EXPECT_EQ(text.View(), "abc");
  text.Assign("abcdefgh");
  EXPECT_EQ(text.View(), "abcd") << "cut to the capacity";
  text.Length = 200;  // damaged length byte
  EXPECT_EQ(text.View(), "abcd");
}

}  // namespace
}  // namespace qor
