#include "crash/core/freeze_turns.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

// Probes missed until the next report, with the interval they ran at.
int MissesUntilReport(FreezeTurns& turns) {
  for (int missed = 1; missed <= 100; ++missed) {
    if (turns.Missed()) return missed;
  }
  return -1;
}

TEST(FreezeTurns, TenMissesInARowReportAndALastingFreezeBacksOffByHalf) {
  FreezeTurns turns;
  turns.Start(5000);
  EXPECT_EQ(turns.Interval(), 500u);
  const uint32_t expected[] = {500, 750, 1125, 1687};
  for (const uint32_t interval : expected) {
    EXPECT_EQ(turns.Interval(), interval);
    EXPECT_EQ(MissesUntilReport(turns), kFreezeMisses);
    turns.Reported();
    EXPECT_EQ(turns.Misses(), 0);
  }
}

TEST(FreezeTurns, AnAnswerOrAClearStartsTheCountAgain) {
  FreezeTurns turns;
  turns.Start(1000);
  for (int i = 0; i < kFreezeMisses - 1; ++i) EXPECT_FALSE(turns.Missed());
  turns.ClearMisses();
  EXPECT_EQ(MissesUntilReport(turns), kFreezeMisses);
  turns.Reported();
  turns.Reported();
  EXPECT_EQ(turns.Interval(), 225u);
  for (int i = 0; i < kFreezeMisses - 1; ++i) EXPECT_FALSE(turns.Missed());
  turns.Answered();
  EXPECT_EQ(turns.Interval(), 100u);
  EXPECT_EQ(MissesUntilReport(turns), kFreezeMisses);
}

TEST(FreezeTurns, TinyTimeoutsStillWaitAndStillBackOff) {
  EXPECT_EQ(FreezeProbeInterval(9), 1u);
  EXPECT_EQ(FreezeProbeInterval(-5), 1u);
  EXPECT_EQ(FreezeProbeInterval(10), 1u);
  EXPECT_EQ(FreezeProbeInterval(25), 2u);
  EXPECT_EQ(BackedOffInterval(1), 2u);
  EXPECT_EQ(BackedOffInterval(3), 4u);
  EXPECT_EQ(BackedOffInterval(100), 150u);
}

}  // namespace
}  // namespace qor
