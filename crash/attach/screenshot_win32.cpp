#include "crash/attach/screenshot_win32.h"

#include <span>

#include "crash/attach/screenshot_png.h"

namespace qor {
namespace {

// Owns one GDI handle and gives it to `Release`; nullptr is none.
template <typename Handle, auto Release>
class Owned {
 public:
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() {
    if (handle_) Release(handle_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Handle Get() const { return handle_; }

 private:
  Handle handle_;
};
using DeviceContext = Owned<HDC, DeleteDC>;
using GdiObject = Owned<HGDIOBJ, DeleteObject>;

// Selects an object into a DC for its lifetime and then puts the previous
// one back, so that the object can be deleted (a selected one cannot be).
// Does not take ownership of either.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  bool Done() const { return previous_ != nullptr; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

struct ScreenArea {
  POINT origin;
  int width;
  int height;
};

// The virtual screen; the primary screen where the system knows no
// monitors (before multi-monitor support).
ScreenArea FindScreenArea(HDC display) {
  if (GetSystemMetrics(SM_CMONITORS) < 1) {
    return {{0, 0}, GetDeviceCaps(display, HORZRES), GetDeviceCaps(display, VERTRES)};
  }
  return {{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)},
          GetSystemMetrics(SM_CXVIRTUALSCREEN),
          GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// The cursor of the window under the mouse, read by attaching to its
// thread's input for just that call (the cursor is per input queue). For
// systems without GetCursorInfo.
HCURSOR CursorOfWindowUnderMouse(POINT& position) {
  if (!GetCursorPos(&position)) return nullptr;
  const HWND window = WindowFromPoint(position);
  const DWORD owner = window ? GetWindowThreadProcessId(window, nullptr) : 0;
  const DWORD self = GetCurrentThreadId();
  // A thread cannot attach to itself; its own cursor needs no attach.
  const bool attached = owner != 0 && owner != self && AttachThreadInput(self, owner, TRUE);
  const HCURSOR cursor = GetCursor();
  if (attached) AttachThreadInput(self, owner, FALSE);
  return cursor;
}

// The cursor on screen and its position (of its hot spot); nullptr when
// it is hidden or unknown.
HCURSOR FindCursor(POINT& position) {
  // Looked up at run time: Windows 95 and NT 4 lack it.
  using GetCursorInfoFunction = BOOL(WINAPI*)(PCURSORINFO);
  const auto get_cursor_info = reinterpret_cast<GetCursorInfoFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetCursorInfo")));
  if (get_cursor_info) {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (get_cursor_info(&info)) {
      if (!info.hCursor || !(info.flags & CURSOR_SHOWING)) return nullptr;
      position = info.ptScreenPos;
      return info.hCursor;
    }
  }
  return CursorOfWindowUnderMouse(position);
}

}  // namespace

void DrawMouseCursor(HDC dc, POINT origin) {
  POINT position{};
  const HCURSOR cursor = FindCursor(position);
  if (!cursor) return;
  ICONINFO icon{};
  if (GetIconInfo(cursor, &icon)) {
    const GdiObject mask(icon.hbmMask);
    const GdiObject color(icon.hbmColor);
    position.x -= static_cast<LONG>(icon.xHotspot);
    position.y -= static_cast<LONG>(icon.yHotspot);
  }
  DrawIconEx(dc, position.x - origin.x, position.y - origin.y, cursor, 0, 0, 0, nullptr,
             DI_NORMAL);
}

std::vector<uint8_t> CaptureScreenPng(int mode) {
  const DeviceContext display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
  if (!display.Get()) return {};
  const ScreenArea area = FindScreenArea(display.Get());
  if (area.width <= 0 || area.height <= 0 ||
      uint64_t(area.width) * uint64_t(area.height) > kMaxScreenshotPixels) {
    return {};
  }
  const DeviceContext memory(CreateCompatibleDC(display.Get()));
  if (!memory.Get()) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = area.width;
  info.bmiHeader.biHeight = -area.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const GdiObject bitmap(
      CreateDIBSection(display.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap.Get() || !bits) return {};
  const Selection selection(memory.Get(), bitmap.Get());
  if (!selection.Done()) return {};
  if (!BitBlt(memory.Get(), 0, 0, area.width, area.height, display.Get(), area.origin.x,
              area.origin.y, SRCCOPY)) {
    return {};
  }
  DrawMouseCursor(memory.Get(), area.origin);
  // The pixels are read from memory next; GDI may still hold drawing back.
  GdiFlush();
  const size_t size = size_t(area.width) * size_t(area.height) * 4;
  return EncodeScreenshot(std::span(static_cast<const uint8_t*>(bits), size),
                          static_cast<uint32_t>(area.width), static_cast<uint32_t>(area.height),
                          mode);
}

}  // namespace qor
