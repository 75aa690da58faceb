#include "crash/stack/progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace qor {
namespace {

uint32_t g_now = 0;
std::vector<int64_t> g_shown;
int g_windows = 0;

class FakeWindow : public ProgressWindow {
 public:
  void Show() override { ++g_windows; }
  void SetValue(int64_t per_mille) override { g_shown.push_back(per_mille); }
};

uint32_t FakeClock() { return g_now; }
std::unique_ptr<ProgressWindow> CreateFakeWindow() { return std::make_unique<FakeWindow>(); }

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now = 1000;
    g_shown.clear();
    g_windows = 0;
  }
  const ProgressHooks hooks_{FakeClock, CreateFakeWindow};
};

TEST_F(ProgressTest, WindowAppearsAfter750MsOnlyWhileLessThanHalfIsDone) {
  TProgress progress(hooks_);
  progress.AddPhase(1000);
  g_now += 750;
  progress.SetPosition(100);  // not yet more than 750 ms
  EXPECT_EQ(g_windows, 0);
  g_now += 1;
  progress.SetPosition(200);  // V = 200: the window starts empty here
  EXPECT_EQ(g_windows, 1);
  EXPECT_EQ(progress.WindowStart, 200);
  // The bar then covers the remaining 800 only.
  progress.SetPosition(600);
  progress.FinishPhase();
  EXPECT_EQ(g_shown, (std::vector<int64_t>{0, 500, 1000}));
  EXPECT_EQ(g_windows, 1);
}

TEST_F(ProgressTest, NoWindowForWorkThatIsHalfDoneOrWithoutHooks) {
  TProgress late(hooks_);
  late.AddPhase(10);
  g_now += 2000;
  late.SetPosition(500);
  EXPECT_EQ(g_windows, 0);

  TProgress bare(ProgressHooks{});
  bare.AddPhase(10);
  bare.SetPosition(100);
  EXPECT_EQ(bare.Window, nullptr);
}

TEST_F(ProgressTest, PositionsOutsideAnyPhaseOrWithoutWeightAreHarmless) {
  TProgress progress(hooks_);
  g_now += 1000;
  progress.SetPosition(500);  // no phase yet
  progress.FinishPhase();
  EXPECT_EQ(progress.Current, 0);
  progress.AddPhase(0);  // nothing to do counts as done, not as a division by zero
  progress.SetPosition(0);
  EXPECT_EQ(g_windows, 0);
  progress.FinishPhase();
  progress.SetPosition(500);  // every phase finished
  EXPECT_EQ(g_shown, std::vector<int64_t>{});
}

}  // namespace
}  // namespace qor
