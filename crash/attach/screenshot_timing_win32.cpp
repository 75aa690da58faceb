// screenshot_timing.exe: how long the bug report's screenshot takes on this
// display and how large it is. For every screenshot mode it runs the whole
// capture (screen copy, cursor, quantiser or gray levels, PNG) a number of
// times and prints the median, the fastest and slowest run and the PNG size.
//   screenshot_timing [--runs N] [--picture FILE.bmp] [--save FILE.png]
// --picture shows a bitmap file over the whole screen first (a desktop to
// capture on an otherwise empty display); --save writes mode 0's PNG.
// A measuring tool, not a test: it asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crash/attach/screenshot_win32.h"

namespace {

constexpr int kModes = 6;

struct Options {
  int runs = 21;
  std::string picture;
  std::string save;
};

bool ReadOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) {
      options.runs = std::atoi(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--picture") == 0) {
      options.picture = argv[i + 1];
    } else if (std::strcmp(argv[i], "--save") == 0) {
      options.save = argv[i + 1];
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && options.runs > 0;
}

// Paints the window's bitmap (its user data) at its natural size.
LRESULT CALLBACK PictureWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wparam, lparam);
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window, &paint);
  const auto bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(window, GWLP_USERDATA));
  const HDC memory = CreateCompatibleDC(dc);
  if (memory) {
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BITMAP size{};
    GetObjectA(bitmap, sizeof size, &size);
    BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
  }
  EndPaint(window, &paint);
  return 0;
}

// A borderless window over the whole screen showing a bitmap file; it and
// the bitmap live as long as this object.
class PictureWindow {
 public:
  explicit PictureWindow(const std::string& file) {
    if (file.empty()) return;
    bitmap_ = static_cast<HBITMAP>(
        LoadImageA(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!bitmap_) return;
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = PictureWindowProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "QorScreenshotTimingPicture";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, window_class.lpszClassName, "",
                              WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                              GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                              window_class.hInstance, nullptr);
    if (!window_) return;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap_));
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    DrainMessages();
  }
  ~PictureWindow() {
    if (window_) DestroyWindow(window_);
    if (bitmap_) DeleteObject(bitmap_);
  }
  PictureWindow(const PictureWindow&) = delete;
  PictureWindow& operator=(const PictureWindow&) = delete;
  bool Shown() const { return window_ != nullptr; }

 private:
  // Lets the window system map and paint the window before the capture
  // (under Wine the X server shows it after a round of messages).
  static void DrainMessages() {
    for (int round = 0; round < 20; ++round) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(25);
    }
  }

  HBITMAP bitmap_ = nullptr;
  HWND window_ = nullptr;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

void TimeMode(int mode, int runs, const std::string& save) {
  std::vector<double> times;
  std::vector<uint8_t> png;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    png = qor::CaptureScreenPng(mode);
    QueryPerformanceCounter(&end);
    times.push_back(Milliseconds(start, end));
  }
  std::sort(times.begin(), times.end());
  std::printf("mode %d: median %.1f ms (%.1f to %.1f ms, %d runs), PNG %zu bytes\n", mode,
              times[times.size() / 2], times.front(), times.back(), runs, png.size());
  if (mode == 0 && !save.empty()) {
    FILE* file = std::fopen(save.c_str(), "wb");
    if (!file) return;
    std::fwrite(png.data(), 1, png.size(), file);
    std::fclose(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ReadOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: screenshot_timing [--runs N] [--picture FILE.bmp] [--save FILE.png]\n");
    return 2;
  }
  const PictureWindow picture(options.picture);
  if (!options.picture.empty() && !picture.Shown()) {
    std::fprintf(stderr, "cannot show the picture %s\n", options.picture.c_str());
    return 1;
  }
  std::printf("screen %dx%d\n", GetSystemMetrics(SM_CXVIRTUALSCREEN),
              GetSystemMetrics(SM_CYVIRTUALSCREEN));
  for (int mode = 0; mode < kModes; ++mode) TimeMode(mode, options.runs, options.save);
  return 0;
}
