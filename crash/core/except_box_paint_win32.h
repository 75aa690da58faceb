// Drawing the exception dialog's buttons (Windows only): every look is
// composed in one off-screen bitmap and copied to the button in one go,
// so that fades and blinks do not flicker.
#pragma once

#include <windows.h>

namespace qor {

struct ButtonLook {
  COLORREF text;
  COLORREF back;
};

// `back` made lighter by `difference` per channel (half of it for a
// disabled button), or darker when two or more channels would overflow.
// Only on screens with more than 14 bits per pixel; otherwise unchanged.
COLORREF AdjustedBack(COLORREF back, COLORREF difference, bool disabled);

class ButtonPainter {
 public:
  // `memory_dc` holds the off-screen bitmap and the caption font; both
  // stay the caller's.
  explicit ButtonPainter(HDC memory_dc) : dc_(memory_dc) {}

  // Paints `button` (its user data is its glyph index). `line_x` >= 0
  // draws the countdown line there.
  void Paint(HWND button, ButtonLook look, int line_x, COLORREF difference) const;

  // Eight frames from one look to the other, 10 ms apart.
  void Fade(HWND button, ButtonLook from, ButtonLook to, int line_x) const;

 private:
  void DrawGlyph(int index, COLORREF back) const;

  HDC dc_;
};

bool DeepColorScreen();

}  // namespace qor
