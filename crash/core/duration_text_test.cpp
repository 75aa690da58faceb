#include "crash/core/duration_text.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(DurationText, TwoLargestUnitsSingularAndPlural) {
  EXPECT_EQ(DurationText(59), "59 seconds ");
  EXPECT_EQ(DurationText(61), "1 minute 1 second ");
  EXPECT_EQ(DurationText(3600), "1 hour ") << "no minutes part when they are 0";
  EXPECT_EQ(DurationText(3 * 86400 + 3600 + 59), "3 days 1 hour ") << "minutes dropped";
  EXPECT_EQ(DurationText(86400 + 59), "1 day ");
  EXPECT_EQ(DurationText(7200 + 120 + 5), "2 hours 2 minutes ");
  EXPECT_EQ(DurationText(0), "");
  EXPECT_EQ(DurationText(int64_t{1} << 40), "12725829 days ") << "64-bit seconds";
}

TEST(DurationText, UpTimeUnderOneSecondInMilliseconds) {
  EXPECT_EQ(UpTimeText(999), "999 milliseconds");
  EXPECT_EQ(UpTimeText(0), "0 milliseconds");
  EXPECT_EQ(UpTimeText(61500), "1 minute 1 second ");
}

}  // namespace
}  // namespace qor
