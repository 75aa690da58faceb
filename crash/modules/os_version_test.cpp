#include "crash/modules/os_version.h"

#include <gtest/gtest.h>

#include "crash/modules/elapsed_time.h"

namespace qor {
namespace {

TEST(ClassifyOs, EveryRowOfTheReleaseTable) {
  struct Case {
    uint32_t platform, major, minor, build;
    uint8_t kind;
  } cases[] = {
      {1, 3, 95, 950, kOsNone},
      {1, 4, 0, 950, kOsWindows95},
      {1, 4, 0, 1000, kOsWindows95},
      {1, 4, 3, 1001, kOsWindows95Osr2},
      {1, 4, 10, 1998, kOsWindows98},
      {1, 4, 10, 2000, kOsWindows98},
      {1, 4, 10, 2222, kOsWindows98Se},
      {1, 4, 10, 2700, kOsWindows98Se},
      {1, 4, 10, 2701, kOsWindowsMe},
      {1, 4, 11, 0, kOsWindowsMe},
      {1, 4, 90, 3000, kOsWindowsMe},
      {1, 4, 91, 0, kOsWindows9xNew},
      {1, 5, 0, 0, kOsWindows9xNew},
      {2, 3, 51, 1057, kOsWindowsNt3},
      {2, 4, 0, 1381, kOsWindowsNt4},
      {2, 5, 0, 2195, kOsWindows2000},
      {2, 5, 1, 2600, kOsWindowsXp},
      {2, 5, 2, 3790, kOsWindows2003},
      {2, 5, 3, 0, kOsWindowsNtNew},
      {2, 6, 1, 7601, kOsWindowsNtNew},
      {2, 10, 0, 19045, kOsWindowsNtNew},
      {0, 4, 10, 2222, kOsNone},  // not platform 1: no 9x release is guessed
  };
  for (const Case& c : cases) {
    TOS os = ClassifyOs({c.platform, c.major, c.minor, c.build, ""});
    SCOPED_TRACE(testing::Message() << c.platform << " " << c.major << "." << c.minor << "."
                                    << c.build);
    EXPECT_EQ(os.Kind, c.kind);
    EXPECT_EQ(os.IsNT, c.platform == 2);
    EXPECT_EQ(os.Is9x, c.platform != 2);
    EXPECT_EQ(c.platform == 2 ? os.KindNT : os.Kind9x, c.kind);
    EXPECT_EQ(os.Description, OsKindName(c.kind));
  }
}

TEST(ClassifyOs, BuildServicePackAndDescription) {
  // The 9x family keeps the version in the high word of the build number.
  TOS se = ClassifyOs({1, 4, 10, 0x040A08AE, " A "});
  EXPECT_EQ(se.Build, 2222u);
  EXPECT_EQ(se.Kind, kOsWindows98Se);
  EXPECT_EQ(se.Description, "Windows 98 SE  A ");
  EXPECT_EQ(se.ServicePack, 0u);

  TOS xp = ClassifyOs({2, 5, 1, 2600, "Service Pack 3"});
  EXPECT_EQ(xp.Build, 2600u);
  EXPECT_EQ(xp.ServicePack, 3u);
  EXPECT_EQ(xp.Description, "Windows XP") << "the NT family leaves the CSD text out";
  EXPECT_EQ(xp.ServicePackText, "Service Pack 3");
  EXPECT_EQ(ClassifyOs({2, 5, 0, 2195, "Service Pack 12, v.1"}).ServicePack, 12u);
  EXPECT_EQ(ClassifyOs({2, 5, 0, 2195, "Service Pack "}).ServicePack, 0u);
  EXPECT_STREQ(OsKindName(200), "None");
}

TEST(ElapsedTicks, StaysSmallAcrossTheCounterWrap) {
  EXPECT_EQ(ElapsedTicks(100, 350), 250u);
  EXPECT_EQ(ElapsedTicks(0xfffffff0, 0x10), 0x20u);
  EXPECT_EQ(ElapsedTicks(0xffffffff, 0), 1u);
  EXPECT_EQ(ElapsedTicks(7, 7), 0u);
}

}  // namespace
}  // namespace qor
