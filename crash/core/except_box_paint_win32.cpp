#include "crash/core/except_box_paint_win32.h"

#include <algorithm>
#include <string>

#include "crash/core/core_module.h"

namespace qor {
namespace {

constexpr const char* kGlyphNames[] = {"MEIMAIL",     "MEISAVE",    "MEIPRINT",
                                       "MEISHOW",     "MEICONTINUE", "MEIRESTART",
                                       "MEICLOSE",    "MEICANTCONTINUE"};

int Channel(COLORREF color, int shift) { return (color >> shift) & 0xff; }

COLORREF Mix(COLORREF a, int a_parts, COLORREF b, int b_parts) {
  const int total = a_parts + b_parts;
  const auto mix = [&](int shift) {
    return (Channel(a, shift) * a_parts + Channel(b, shift) * b_parts) / total;
  };
  return RGB(mix(0), mix(8), mix(16));
}

HMODULE CoreInstance() { return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(CoreModule())); }

// A 16x16 icon of that name, from the core's module or else the program.
HICON LoadGlyphIcon(const char* name) {
  for (HMODULE module : {CoreInstance(), GetModuleHandleA(nullptr)}) {
    if (!FindResourceA(module, name, MAKEINTRESOURCEA(14))) continue;  // RT_GROUP_ICON
    if (auto icon = static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, 16, 16, 0))) {
      return icon;
    }
  }
  return nullptr;
}

// The 16x16 pixels with alpha of a bitmap resource of exactly 1064 bytes.
const RGBQUAD* LoadGlyphPixels(const char* name) {
  for (HMODULE module : {CoreInstance(), GetModuleHandleA(nullptr)}) {
    HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (!found || SizeofResource(module, found) != 1064) continue;
    HGLOBAL data = LoadResource(module, found);
    if (const auto* bytes = static_cast<const BYTE*>(data ? LockResource(data) : nullptr)) {
      return reinterpret_cast<const RGBQUAD*>(bytes + sizeof(BITMAPINFOHEADER));
    }
  }
  return nullptr;
}

}  // namespace

bool DeepColorScreen() {
  HDC screen = GetDC(nullptr);
  const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  return bits > 14;
}

COLORREF AdjustedBack(COLORREF back, COLORREF difference, bool disabled) {
  if (difference == 0 || !DeepColorScreen()) return back;
  int step[3], channel[3];
  int overflowing = 0;
  for (int i = 0; i < 3; ++i) {
    step[i] = Channel(difference, i * 8) / (disabled ? 2 : 1);
    channel[i] = Channel(back, i * 8);
    overflowing += channel[i] + step[i] > 255;
  }
  for (int i = 0; i < 3; ++i) {
    channel[i] = overflowing >= 2 ? std::max(0, channel[i] - step[i])
                                  : std::min(255, channel[i] + step[i]);
  }
  return RGB(channel[0], channel[1], channel[2]);
}

void ButtonPainter::DrawGlyph(int index, COLORREF back) const {
  if (index < 0 || index > 7) return;
  if (HICON icon = LoadGlyphIcon(kGlyphNames[index])) {
    DrawIconEx(dc_, 3, 3, icon, 16, 16, 0, nullptr, DI_NORMAL);
    DestroyIcon(icon);
    return;
  }
  const RGBQUAD* pixels = LoadGlyphPixels(kGlyphNames[index]);
  if (!pixels) return;
  for (int row = 0; row < 16; ++row) {
    for (int column = 0; column < 16; ++column) {
      const RGBQUAD& p = pixels[(15 - row) * 16 + column];  // stored bottom-up
      const int weight = p.rgbReserved + 1;
      SetPixel(dc_, 3 + column, 3 + row,
               Mix(back, 256 - weight, RGB(p.rgbRed, p.rgbGreen, p.rgbBlue), weight));
    }
  }
}

void ButtonPainter::Paint(HWND button, ButtonLook look, int line_x, COLORREF difference) const {
  RECT rect;
  GetClientRect(button, &rect);
  const bool enabled = IsWindowEnabled(button);
  const COLORREF back = AdjustedBack(look.back, difference, !enabled);
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(dc_, &rect, brush);
  DeleteObject(brush);
  if (line_x >= 0) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const int spread = DeepColorScreen() ? 3 : 0;
    for (int i = spread; i >= 0; --i) {
      HPEN pen = CreatePen(PS_SOLID, 1, Mix(face, 4 - i, back, i));
      HGDIOBJ old = SelectObject(dc_, pen);
      for (int x : {line_x - i, line_x + i}) {
        MoveToEx(dc_, x, rect.top, nullptr);
        LineTo(dc_, x, rect.bottom);
      }
      SelectObject(dc_, old);
      DeleteObject(pen);
    }
  }
  DrawGlyph(static_cast<int>(GetWindowLongPtrA(button, GWLP_USERDATA)), back);
  char caption[30] = {};
  const int length = GetWindowTextA(button, caption, sizeof caption);
  SIZE size{};
  GetTextExtentPoint32A(dc_, caption, length, &size);
  const int x0 = (rect.right - size.cx - 35) / 2;
  if (enabled) {
    SetTextColor(dc_, look.text);
    TextOutA(dc_, x0 + 27, 4, caption, length);
  } else {
    SetTextColor(dc_, RGB(255, 255, 255));
    TextOutA(dc_, x0 + 28, 5, caption, length);
    SetTextColor(dc_, GetSysColor(COLOR_3DDKSHADOW));
    TextOutA(dc_, x0 + 27, 4, caption, length);
  }
  HDC target = GetDC(button);
  BitBlt(target, 0, 0, rect.right, rect.bottom, dc_, 0, 0, SRCCOPY);
  ReleaseDC(button, target);
}

void ButtonPainter::Fade(HWND button, ButtonLook from, ButtonLook to, int line_x) const {
  for (int k = 7; k >= 0; --k) {
    if (k < 7) Sleep(10);
    Paint(button, {Mix(from.text, k, to.text, 8 - k), Mix(from.back, k, to.back, 8 - k)}, line_x,
          0);
  }
}

}  // namespace qor
