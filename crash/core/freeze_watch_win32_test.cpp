// The freeze watchdog in a running program: each scenario runs in its own
// child (freeze_watch_win32_test_child, timeout 1000 ms, or its twin with
// timeout 0), which prints what its report handler saw.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/modules/testing/child_output_win32.h"

namespace {

std::string RunScenario(const std::string& scenario, bool watchdog = true) {
  const qor::test::ChildOutput output = qor::test::RunChildProgram(
      watchdog ? "freeze_watch_win32_test_child.exe" : "freeze_off_win32_test_child.exe",
      scenario);
  EXPECT_TRUE(output.started);
  EXPECT_EQ(output.exit_code, 0u) << output.text;
  return output.text;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The number after "key=" in the output, -1 when it is missing.
int Number(const std::string& text, const std::string& key) {
  const size_t at = text.find(key + "=");
  return at == std::string::npos ? -1 : std::stoi(text.substr(at + key.size() + 1));
}

constexpr char kFrozenReport[] = "frozen frozen_line=1 main_first=1 listed=0\n";

TEST(FreezeWatch, TimeoutZeroStartsNoWatchdogAndRegistersNoProbe) {
  const std::string off = RunScenario("state", false);
  const std::string on = RunScenario("state");
  EXPECT_EQ(Number(off, "watchdog"), 0) << off;
  EXPECT_EQ(Number(on, "watchdog"), 1) << on;
  // The probe takes one private message number of the main thread's window.
  EXPECT_EQ(Number(on, "next_message"), Number(off, "next_message") + 1) << off << on;
  const std::string dialog = RunScenario("dialog", false);
  EXPECT_NE(dialog.find("probe posted=0"), std::string::npos) << dialog;
}

TEST(FreezeWatch, AMainThreadBlockedForLessThanTheTimeoutIsNoFreeze) {
  const std::string text = RunScenario("short");
  EXPECT_EQ(Count(text, "frozen "), 0) << text;
  EXPECT_NE(text.find("reports=0"), std::string::npos) << text;
}

TEST(FreezeWatch, TenMissedProbesReportOneFreezeWithTheMainThreadFirst) {
  const std::string text = RunScenario("long");
  EXPECT_EQ(Count(text, "frozen "), 1) << text;
  EXPECT_EQ(Count(text, kFrozenReport), 1) << text;
  // The probes that went unanswered wait in the main thread's queue.
  EXPECT_EQ(Number(text, "probes"), 10) << text;
}

TEST(FreezeWatch, ALastingFreezeIsReportedAgainAfterTenFurtherMisses) {
  const std::string text = RunScenario("lasting");
  EXPECT_EQ(Count(text, kFrozenReport), 2) << text;
  EXPECT_EQ(Number(text, "probes"), 20) << text;
}

TEST(FreezeWatch, APendingRequestHoldsTheWatchdog) {
  const std::string text = RunScenario("held");
  EXPECT_EQ(Count(text, "failure "), 1) << text;
  EXPECT_EQ(Count(text, "frozen "), 0) << text;
}

TEST(FreezeWatch, ADialogsProbeIsAnsweredWhenTheMainThreadRunsAgain) {
  const std::string text = RunScenario("dialog");
  EXPECT_NE(text.find("probe posted=1"), std::string::npos) << text;
  EXPECT_NE(text.find("dialog answered after main=1"), std::string::npos) << text;
  EXPECT_EQ(Count(text, "frozen "), 0) << text;
}

}  // namespace
