// Captures of a known picture on the screen: a top-most window painted
// with solid colour blocks and, later, a square of noise, with a cursor of
// our own over it. Each capture is decoded again with zlib and compared.
#include "crash/attach/screenshot_win32.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "crash/attach/screenshot_png.h"
#include "crash/attach/testing/png_reader.h"

namespace qor {
namespace {

using testing::DecodedPng;

constexpr int kLeft = 120;
constexpr int kTop = 90;
constexpr int kBlock = 40;
// Colours at cell corners, each in a 5-5-5 cell of its own.
constexpr std::array<COLORREF, 8> kBlockColors = {
    RGB(0xC0, 0x00, 0x00), RGB(0x00, 0xA8, 0x00), RGB(0x00, 0x00, 0xF8), RGB(0xF8, 0xF8, 0x00),
    RGB(0x00, 0xF8, 0xF8), RGB(0xF8, 0x00, 0xF8), RGB(0x80, 0x80, 0x80), RGB(0x48, 0x20, 0x10)};
constexpr COLORREF kBackground = RGB(0xE0, 0x68, 0x30);
constexpr int kWidth = kBlock * 8;
constexpr int kNoiseTop = 2 * kBlock + 100;  // below the blocks and the cursor area
constexpr int kNoiseSide = 256;
constexpr int kHeight = kNoiseTop + kNoiseSide;
constexpr int kCursorSide = 32;
constexpr POINT kHotSpot = {5, 7};

bool g_noise = false;
HCURSOR g_cursor = nullptr;

void PaintNoise(HDC dc) {
  std::vector<uint32_t> pixels(kNoiseSide * kNoiseSide);
  uint32_t seed = 77;
  for (uint32_t& p : pixels) p = (seed = seed * 1103515245u + 12345u) >> 8;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, kNoiseSide, -kNoiseSide, 1, 32, BI_RGB};
  SetDIBitsToDevice(dc, 0, kNoiseTop, kNoiseSide, kNoiseSide, 0, 0, 0, kNoiseSide, pixels.data(),
                    &info, DIB_RGB_COLORS);
}

void Fill(HDC dc, RECT rect, COLORREF color) {
  const HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

LRESULT CALLBACK PatternProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    Fill(dc, {0, 0, kWidth, kHeight}, kBackground);
    for (int k = 0; k < 8; ++k) Fill(dc, {k * kBlock, 0, (k + 1) * kBlock, kBlock}, kBlockColors[k]);
    if (g_noise) PaintNoise(dc);
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_SETCURSOR) {
    SetCursor(g_cursor);
    return TRUE;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// A 32 x 32 cursor, white in its left half and black in its right half.
HCURSOR MakeCursor() {
  std::array<uint8_t, 4 * kCursorSide> and_mask{};
  std::array<uint8_t, 4 * kCursorSide> xor_mask{};
  for (int row = 0; row < kCursorSide; ++row) xor_mask[4 * row] = xor_mask[4 * row + 1] = 0xFF;
  return CreateCursor(GetModuleHandleA(nullptr), kHotSpot.x, kHotSpot.y, kCursorSide, kCursorSide,
                      and_mask.data(), xor_mask.data());
}

void PumpFor(DWORD milliseconds) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

DecodedPng Decode(const std::vector<uint8_t>& png) {
  DecodedPng decoded;
  std::string error;
  EXPECT_TRUE(testing::ReadPalettePng(png, decoded, error)) << error;
  return decoded;
}

uint32_t Rgb(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }

class ScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = PatternProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "qorScreenshotPattern";
    RegisterClassA(&wc);
    g_cursor = MakeCursor();
    ASSERT_NE(g_cursor, nullptr);
    window_ = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "pattern", WS_POPUP | WS_VISIBLE,
                              kLeft, kTop, kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
    origin_ = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
    // The mouse over the plain area below the blocks, showing our cursor.
    SetCursorPos(kLeft + 150, kTop + kBlock + 50);
    SetCursor(g_cursor);
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
    if (g_cursor) DestroyCursor(g_cursor);
    UnregisterClassA("qorScreenshotPattern", GetModuleHandleA(nullptr));
    g_noise = false;
  }

  // Captures the colour image until `ready` holds for it (the window
  // system shows what was painted a little later), for about ten seconds
  // at most.
  template <typename Ready>
  static std::vector<uint8_t> CaptureWhen(Ready ready) {
    std::vector<uint8_t> png;
    for (int attempt = 0; attempt < 200; ++attempt) {
      PumpFor(50);
      png = CaptureScreenPng(0);
      if (!png.empty() && ready(png)) break;
    }
    return png;
  }

  // The pixel of screen point (x, y) in a capture.
  static uint32_t At(const DecodedPng& png, POINT origin, int x, int y) {
    return png.Color(x - origin.x, y - origin.y);
  }

  HWND window_ = nullptr;
  POINT origin_{};
};

TEST_F(ScreenshotTest, ColourCaptureShowsThePatternAndTheCursor) {
  auto block_centre = [&](const DecodedPng& png, int k) {
    return At(png, origin_, kLeft + k * kBlock + kBlock / 2, kTop + kBlock / 2);
  };
  const DecodedPng png = Decode(CaptureWhen([&](const std::vector<uint8_t>& bytes) {
    const DecodedPng p = Decode(bytes);
    return block_centre(p, 0) == Rgb(kBlockColors[0]) && block_centre(p, 7) == Rgb(kBlockColors[7]);
  }));
  EXPECT_EQ(png.width, unsigned(GetSystemMetrics(SM_CXVIRTUALSCREEN)));
  EXPECT_EQ(png.height, unsigned(GetSystemMetrics(SM_CYVIRTUALSCREEN)));
  ASSERT_EQ(png.bit_depth, 8);
  ASSERT_EQ(png.palette.size(), 768u);
  // Few colours on the screen: every block keeps its exact colour.
  for (int k = 0; k < 8; ++k) EXPECT_EQ(block_centre(png, k), Rgb(kBlockColors[k])) << k;

  // The cursor: its hot spot where the mouse is, at its natural size.
  POINT mouse;
  ASSERT_TRUE(GetCursorPos(&mouse));
  const int x = mouse.x - kHotSpot.x;
  const int y = mouse.y - kHotSpot.y;
  EXPECT_EQ(At(png, origin_, x + 1, y + 1), 0xFFFFFFu);
  EXPECT_EQ(At(png, origin_, x + 15, y + 30), 0xFFFFFFu);
  EXPECT_EQ(At(png, origin_, x + 16, y + 1), 0x000000u);
  EXPECT_EQ(At(png, origin_, x + 31, y + 30), 0x000000u);
  EXPECT_EQ(At(png, origin_, x - 1, y + 10), Rgb(kBackground));
  EXPECT_EQ(At(png, origin_, x + 32, y + 10), Rgb(kBackground));
  EXPECT_EQ(At(png, origin_, x + 10, y + 32), Rgb(kBackground));
}

TEST_F(ScreenshotTest, CursorIsDrawnRelativeToANegativeOrigin) {
  // As on a virtual screen with a monitor left of and above the primary
  // one (Wine on Xvfb shows a single monitor, so the capture cannot meet
  // that case itself).
  constexpr POINT origin = {-300, -50};
  constexpr int width = 1400;
  constexpr int height = 900;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB};
  void* bits = nullptr;
  const HDC dc = CreateCompatibleDC(nullptr);
  const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(dc && bitmap && bits);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  Fill(dc, {0, 0, width, height}, kBackground);
  DrawMouseCursor(dc, origin);
  GdiFlush();
  POINT mouse;
  ASSERT_TRUE(GetCursorPos(&mouse));
  auto at = [&](int x, int y) {
    return static_cast<const uint32_t*>(bits)[(y - origin.y) * width + (x - origin.x)] & 0xFFFFFF;
  };
  const int x = mouse.x - kHotSpot.x;
  const int y = mouse.y - kHotSpot.y;
  EXPECT_EQ(at(x, y), 0xFFFFFFu);
  EXPECT_EQ(at(x + 31, y + 31), 0x000000u);
  EXPECT_EQ(at(x - 1, y), Rgb(kBackground));
  EXPECT_EQ(at(x, y - 1), Rgb(kBackground));
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(ScreenshotTest, GrayCaptureAndTheSizeLimitsOfEveryMode) {
  // The noise makes the colour image larger than 50 KB and the gray one
  // smaller than it.
  g_noise = true;
  InvalidateRect(window_, nullptr, FALSE);
  const std::vector<uint8_t> color =
      CaptureWhen([](const std::vector<uint8_t>& png) { return png.size() > 51200; });
  // The cost of one whole capture, for the record (not a pass condition).
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const std::vector<uint8_t> again = CaptureScreenPng(0);
  QueryPerformanceCounter(&end);
  std::printf("capture, quantise and encode of the %dx%d screen: %.1f ms, %zu bytes\n",
              GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
              1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart),
              again.size());
  EXPECT_EQ(again, color);
  const std::vector<uint8_t> gray = CaptureScreenPng(1);
  ASSERT_GT(color.size(), 51200u);
  ASSERT_LE(color.size(), 102400u);
  ASSERT_LT(gray.size(), color.size());

  const DecodedPng gray_png = Decode(gray);
  ASSERT_EQ(gray_png.bit_depth, 4);
  ASSERT_EQ(gray_png.palette.size(), 48u);
  // Block 1 (green 0xA8): brightness 99, nearest level 92.
  EXPECT_EQ(At(gray_png, origin_, kLeft + kBlock + 5, kTop + 5), 0x5C5C5Cu);
  // White block half of the cursor stays white.
  POINT mouse;
  ASSERT_TRUE(GetCursorPos(&mouse));
  EXPECT_EQ(At(gray_png, origin_, mouse.x - kHotSpot.x + 2, mouse.y - kHotSpot.y + 2), 0xFFFFFFu);

  // Mode 2 keeps the shorter gray image; 3, 4, 5 and any other mode keep
  // the colour image, which is within their limits.
  EXPECT_EQ(CaptureScreenPng(2), gray);
  for (int mode : {3, 4, 5, 6, -1}) EXPECT_EQ(CaptureScreenPng(mode), color) << mode;
}

}  // namespace
}  // namespace qor
