#include "crash/stack/progress_bar_win32.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kMarker = RGB(255, 0, 0);

// The screen DC of a window, released when it goes.
struct ScreenDc {
  explicit ScreenDc(HWND window) : window(window), dc(GetDC(window)) {}
  ~ScreenDc() { ReleaseDC(window, dc); }
  HWND window;
  HDC dc;
};

COLORREF PixelAt(HWND window, int x, int y) { return GetPixel(ScreenDc(window).dc, x, y); }

// How many pixels in `area` of the window `match`.
template <typename Match>
int CountPixels(HWND window, const RECT& area, Match match) {
  ScreenDc screen(window);
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) count += match(GetPixel(screen.dc, x, y)) ? 1 : 0;
  }
  return count;
}

// The small text is smoothed into its background, so a glyph may have no
// pixel of the text colour itself: text shows as pixels unlike the background.
auto Not(int sys_color) {
  return [color = GetSysColor(sys_color)](COLORREF c) { return c != color; };
}

int Brightness(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); }

// Asks the window to repaint itself whole, as the system does when it is
// uncovered.
void Repaint(HWND window) {
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
}

class ProgressBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar_ = TProgressBar::Create();
    ASSERT_NE(bar_, nullptr);
    RECT client{};
    GetClientRect(bar_->Handle(), &client);
    width_ = client.right;
    height_ = client.bottom;
    area_ = RECT{4, 4, width_ - 4, height_ - 4};
    bar_->Show();
  }
  COLORREF Pixel(int x, int y) const { return PixelAt(bar_->Handle(), x, y); }
  template <typename Match>
  int Count(const RECT& area, Match match) const { return CountPixels(bar_->Handle(), area, match); }
  void Mark(int x, int y) const { SetPixel(ScreenDc(bar_->Handle()).dc, x, y, kMarker); }
  int Boundary(int per_mille) const { return area_.left + (area_.right - area_.left) * per_mille / 1000; }
  // Where the right-aligned percentage is drawn.
  RECT TextArea() const { return RECT{area_.right - 30, area_.top, area_.right, area_.bottom}; }

  std::unique_ptr<TProgressBar> bar_;
  int width_ = 0;
  int height_ = 0;
  RECT area_{};  // the bar
  const COLORREF face_ = GetSysColor(COLOR_BTNFACE);
  const COLORREF text_ = GetSysColor(COLOR_BTNTEXT);
};

TEST(ProgressBar, TopMostCaptionlessStaticPopupCentredInTheFullScreenArea) {
  auto bar = TProgressBar::Create();
  ASSERT_NE(bar, nullptr);
  const HWND window = bar->Handle();
  char class_name[32] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  EXPECT_EQ(lstrcmpiA(class_name, "STATIC"), 0) << class_name;
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

  const int screen_width = GetSystemMetrics(SM_CXFULLSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYFULLSCREEN);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, screen_width / 2);
  EXPECT_EQ(rect.bottom - rect.top, 23);
  EXPECT_EQ(rect.left, (screen_width - screen_width / 2) / 2);
  EXPECT_EQ(rect.top, (screen_height - 23) / 2);

  EXPECT_FALSE(IsWindowVisible(window)) << "hidden until shown";
  bar->Show();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_NE(GetActiveWindow(), window) << "shown without taking the focus";
}

TEST_F(ProgressBarTest, FrameAndEmptyBar) {
  bar_->SetValue(0);
  EXPECT_EQ(Pixel(0, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Pixel(1, 1), face_);
  EXPECT_EQ(Pixel(2, 2), kYellow);
  EXPECT_EQ(Pixel(width_ - 3, height_ - 3), kYellow);
  EXPECT_EQ(Pixel(width_ - 2, height_ - 2), face_) << "the yellow frame ends before (w-2, h-2)";
  EXPECT_EQ(Pixel(width_ - 1, height_ / 2), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(Pixel(width_ / 2, height_ - 1), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(Pixel(area_.left, 10), face_) << "nothing filled";
  EXPECT_GT(Count(TextArea(), Not(COLOR_BTNFACE)), 0) << "\"0%\"";
}

TEST_F(ProgressBarTest, HalfAndFullBar) {
  bar_->SetValue(500);
  EXPECT_EQ(Pixel(Boundary(500) - 2, 10), text_);
  EXPECT_EQ(Pixel(Boundary(500) + 2, 10), face_);
  EXPECT_EQ(Pixel(area_.left, area_.top), text_);
  EXPECT_EQ(Pixel(area_.left, area_.bottom), face_) << "the bar keeps its 4-pixel margin";
  EXPECT_GT(Count(TextArea(), Not(COLOR_BTNFACE)), 0) << "\"50%\"";

  bar_->SetValue(1000);
  EXPECT_EQ(Pixel(area_.right - 1, area_.bottom - 1), text_);
  EXPECT_GT(Count(TextArea(), Not(COLOR_BTNTEXT)), 0) << "\"100%\" stands out over the filled bar";
}

TEST_F(ProgressBarTest, TextCrossingTheBoundaryIsClippedToEachSide) {
  bar_->SetValue(970);
  const int boundary = Boundary(970);
  ASSERT_GT(boundary, TextArea().left) << "the boundary must cut the text for this test";
  const RECT done{TextArea().left, area_.top, boundary, area_.bottom};
  const RECT rest{boundary, area_.top, area_.right, area_.bottom};
  EXPECT_GT(Count(done, Not(COLOR_BTNTEXT)), 0);
  EXPECT_GT(Count(rest, Not(COLOR_BTNFACE)), 0);
  // The highlight-coloured half of the text would be the only thing lighter
  // than the face.
  const int face = Brightness(face_);
  EXPECT_EQ(Count(rest, [face](COLORREF c) { return Brightness(c) > face; }), 0);
}

TEST_F(ProgressBarTest, OutOfRangeValuesAreClamped) {
  bar_->SetValue(-300);
  Repaint(bar_->Handle());  // shows also what was drawn outside the bar
  EXPECT_EQ(Pixel(area_.left, 10), face_);
  EXPECT_EQ(Pixel(2, 10), kYellow) << "nothing drawn left of the bar";
  const int text_pixels = Count(area_, Not(COLOR_BTNFACE));
  bar_->SetValue(0);
  EXPECT_EQ(Count(area_, Not(COLOR_BTNFACE)), text_pixels) << "-300 shows as 0%";

  bar_->SetValue(5000);
  Repaint(bar_->Handle());
  EXPECT_EQ(Pixel(area_.right - 1, 10), text_);
  EXPECT_EQ(Pixel(width_ - 3, 10), kYellow) << "nothing drawn right of the bar";
}

// A pixel marked on the screen survives exactly as long as the bar is not
// drawn again.
TEST_F(ProgressBarTest, RedrawsOnlyWhenTheFilledWidthOrThePercentageChanges) {
  bar_->SetValue(500);
  const int x = area_.left + 1;
  Mark(x, 10);
  ASSERT_EQ(Pixel(x, 10), kMarker);
  bar_->SetValue(500);
  EXPECT_EQ(Pixel(x, 10), kMarker) << "same value: not drawn";

  const int bar_width = area_.right - area_.left;
  int same = 0;  // a value that changes neither the width nor the text
  for (int v = 501; v <= 504 && same == 0; ++v) {
    if (bar_width * v / 1000 == bar_width * 500 / 1000 && (v + 5) / 10 == 50) same = v;
  }
  ASSERT_NE(same, 0) << "bar width " << bar_width;
  bar_->SetValue(same);
  EXPECT_EQ(Pixel(x, 10), kMarker) << same << ": same picture, not drawn";

  bar_->SetValue(510);
  EXPECT_EQ(Pixel(x, 10), text_) << "51%: drawn";
}

TEST_F(ProgressBarTest, RepaintRequestsShowTheBitmapNotAnEmptyStatic) {
  bar_->SetValue(500);
  Mark(2, 2);
  Mark(area_.left, 10);
  Repaint(bar_->Handle());
  EXPECT_EQ(Pixel(2, 2), kYellow);
  EXPECT_EQ(Pixel(area_.left, 10), text_);
}

TEST(ProgressBar, DestroyingItLeavesNoWindowAndNoGdiObject) {
  const DWORD gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  auto bar = TProgressBar::Create();
  ASSERT_NE(bar, nullptr);
  bar->Show();
  bar->SetValue(420);
  const HWND window = bar->Handle();
  const auto objects = bar->GdiObjects();
  for (HGDIOBJ object : objects) EXPECT_NE(GetObjectType(object), 0u);
  bar.reset();
  EXPECT_FALSE(IsWindow(window));
  for (HGDIOBJ object : objects) EXPECT_EQ(GetObjectType(object), 0u) << object;
  // Wine's GetGuiResources is a stub that answers 0 on both sides; the
  // handle checks above are what holds there.
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi_before);
}

// Sleeps until the tick count, the clock of the installed hooks, has moved
// on by `ms`: Wine keeps that count in memory that a server thread updates,
// and on a busy emulated machine it may fall behind what Sleep waited.
void SleepTicks(DWORD ms) {
  const DWORD start = GetTickCount();
  Sleep(ms);
  while (GetTickCount() - start < ms) Sleep(20);
}

class InstalledProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallProgressWindow(); }
  void TearDown() override { progress_hooks = ProgressHooks{}; }
};

TEST_F(InstalledProgressTest, SlowWorkShowsTheWindowOnlyWhileLessThanHalfIsDone) {
  TProgress late;
  late.AddPhase(1000);
  late.SetPosition(100);
  EXPECT_EQ(late.Window, nullptr) << "not after 750 ms yet";
  SleepTicks(800);
  late.SetPosition(600);
  EXPECT_EQ(late.Window, nullptr) << "more than half done: it would vanish at once";

  HWND window = nullptr;
  {
    TProgress early;
    early.AddPhase(1000);
    SleepTicks(800);
    early.SetPosition(300);
    ASSERT_NE(early.Window, nullptr);
    auto* bar = dynamic_cast<TProgressBar*>(early.Window.get());
    ASSERT_NE(bar, nullptr);
    window = bar->Handle();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(PixelAt(window, 4, 10), GetSysColor(COLOR_BTNFACE)) << "starts empty at 300";
    early.SetPosition(1000);
    EXPECT_EQ(PixelAt(window, 4, 10), GetSysColor(COLOR_BTNTEXT));
  }
  EXPECT_FALSE(IsWindow(window)) << "the window goes with its TProgress";
}

}  // namespace
}  // namespace qor
