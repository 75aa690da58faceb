#include "crash/stack/progress_bar_win32.h"

#include <algorithm>
#include <cstdio>

namespace qor {
namespace {

constexpr int kHeight = 23;
constexpr int kBarInset = 4;
constexpr int kTextTop = 4;
constexpr int kTextRightGap = 2;
constexpr COLORREF kYellow = RGB(255, 255, 0);

// The DC of a window, released when it goes.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint .. EndPaint; EndPaint also when BeginPaint gave no DC, as
// the system asks.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC Get() const { return dc_; }
  const RECT& Part() const { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

void CopyPart(HDC target, HDC source, const RECT& part) {
  BitBlt(target, part.left, part.top, part.right - part.left, part.bottom - part.top, source,
         part.left, part.top, SRCCOPY);
}

void Fill(HDC dc, const RECT& part, int sys_color) {
  FillRect(dc, &part, GetSysColorBrush(sys_color));
}

// A top-down 32-bit DIB section of `width` x `height`.
HBITMAP CreateBitmap32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// A positive height asks for the cell height: the digits then stay well
// inside the bar, which is 15 pixels high.
HFONT CreateTextFont() {
  return CreateFontA(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "Arial");
}

}  // namespace

void TProgressBar::Selection::Select(HDC dc, HGDIOBJ object) {
  Reset();
  HGDIOBJ previous = SelectObject(dc, object);
  if (previous == nullptr || previous == HGDI_ERROR) return;
  dc_ = dc;
  previous_ = previous;
}

void TProgressBar::Selection::Reset() {
  if (dc_) SelectObject(dc_, previous_);
  dc_ = nullptr;
  previous_ = nullptr;
}

std::unique_ptr<TProgressBar> TProgressBar::Create() {
  std::unique_ptr<TProgressBar> bar(new TProgressBar);
  if (!bar->Initialize()) return nullptr;
  return bar;
}

bool TProgressBar::Initialize() {
  const int screen_width = GetSystemMetrics(SM_CXFULLSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYFULLSCREEN);
  const int width = screen_width / 2;
  window_.Reset(CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP, (screen_width - width) / 2,
                                (screen_height - kHeight) / 2, width, kHeight, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr));
  if (!window_.Get()) return false;
  RECT client{};
  GetClientRect(window_.Get(), &client);
  width_ = client.right;
  height_ = client.bottom;
  bitmap_.Reset(CreateBitmap32(width_, height_));
  font_.Reset(CreateTextFont());
  dc_.Reset(CreateCompatibleDC(nullptr));
  if (!bitmap_.Get() || !font_.Get() || !dc_.Get()) return false;
  bitmap_selection_.Select(dc_.Get(), bitmap_.Get());
  font_selection_.Select(dc_.Get(), font_.Get());
  SetBkMode(dc_.Get(), TRANSPARENT);
  SetTextAlign(dc_.Get(), TA_RIGHT | TA_TOP);
  PaintFrame();
  filled_ = 0;
  percent_ = 0;
  PaintBar();
  // The static control would paint itself empty over the picture whenever
  // a message loop (a dialog of the report, say) dispatches a repaint;
  // answering repaints from the bitmap keeps the picture.
  SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  static_proc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      window_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TProgressBar::WindowProc)));
  return true;
}

TProgressBar::~TProgressBar() {
  if (!window_.Get()) return;
  ShowWindow(window_.Get(), SW_HIDE);
  if (static_proc_) {
    SetWindowLongPtrA(window_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(static_proc_));
  }
  SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, 0);
  // The members then release the GDI objects and destroy the window.
}

std::array<HGDIOBJ, 3> TProgressBar::GdiObjects() const {
  return {dc_.Get(), bitmap_.Get(), font_.Get()};
}

void TProgressBar::Show() {
  ShowWindow(window_.Get(), SW_SHOWNOACTIVATE);
  CopyToWindow(RECT{0, 0, width_, height_});
  // The whole window is now current; a pending repaint would only copy
  // the same picture again.
  ValidateRect(window_.Get(), nullptr);
}

void TProgressBar::SetValue(int64_t per_mille) {
  const int64_t value = std::clamp<int64_t>(per_mille, 0, 1000);
  const RECT bar = BarRect();
  const int filled = static_cast<int>((bar.right - bar.left) * value / 1000);
  const int percent = static_cast<int>((value + 5) / 10);
  if (filled == filled_ && percent == percent_) return;
  filled_ = filled;
  percent_ = percent;
  PaintBar();
  CopyToWindow(bar);
}

RECT TProgressBar::BarRect() const {
  // A window narrower than the frame gets an empty bar, not a reversed one.
  return RECT{kBarInset, kBarInset, std::max(width_ - kBarInset, kBarInset),
              std::max(height_ - kBarInset, kBarInset)};
}

void TProgressBar::PaintFrame() {
  HDC dc = dc_.Get();
  Fill(dc, RECT{0, 0, width_, height_}, COLOR_BTNHIGHLIGHT);
  Fill(dc, RECT{1, 1, width_ - 1, height_ - 1}, COLOR_BTNFACE);
  GdiObject yellow(CreateSolidBrush(kYellow));
  if (yellow.Get()) {
    RECT frame{2, 2, width_ - 2, height_ - 2};
    FrameRect(dc, &frame, static_cast<HBRUSH>(yellow.Get()));
  }
  Fill(dc, RECT{0, height_ - 1, width_, height_}, COLOR_BTNSHADOW);
  Fill(dc, RECT{width_ - 1, 0, width_, height_}, COLOR_BTNSHADOW);
}

void TProgressBar::PaintBar() {
  HDC dc = dc_.Get();
  const RECT bar = BarRect();
  const RECT done{bar.left, bar.top, bar.left + filled_, bar.bottom};
  const RECT rest{done.right, bar.top, bar.right, bar.bottom};
  Fill(dc, done, COLOR_BTNTEXT);
  Fill(dc, rest, COLOR_BTNFACE);
  char text[8];
  const int length = std::snprintf(text, sizeof text, "%d%%", percent_);
  // The text crosses the boundary of the filled part: each side is drawn
  // in the colour that stands out against it.
  SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
  ExtTextOutA(dc, bar.right - kTextRightGap, kTextTop, ETO_CLIPPED, &done, text, length, nullptr);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  ExtTextOutA(dc, bar.right - kTextRightGap, kTextTop, ETO_CLIPPED, &rest, text, length, nullptr);
}

void TProgressBar::CopyToWindow(const RECT& part) {
  WindowDc window_dc(window_.Get());
  if (window_dc.Get()) CopyPart(window_dc.Get(), dc_.Get(), part);
}

LRESULT CALLBACK TProgressBar::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* bar = reinterpret_cast<TProgressBar*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  // The bitmap covers every pixel; erasing first would only flicker.
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_PAINT && bar) {
    PaintScope paint(window);
    if (paint.Get()) CopyPart(paint.Get(), bar->dc_.Get(), paint.Part());
    return 0;
  }
  if (!bar) return DefWindowProcA(window, message, wparam, lparam);
  return CallWindowProcA(bar->static_proc_, window, message, wparam, lparam);
}

void InstallProgressWindow() {
  progress_hooks.tick_count = []() -> uint32_t { return GetTickCount(); };
  progress_hooks.create_window = []() -> std::unique_ptr<ProgressWindow> {
    return TProgressBar::Create();
  };
}

}  // namespace qor
