#include "gui/label.h"

#include "gui/form.h"

namespace gui {

Label::Label(Form& form, int id, int left, int top, int width, int height, Sizing sizing, Wrap wrap)
    : Control(form, id, "STATIC",
              WS_VISIBLE | SS_NOPREFIX | (wrap == Wrap::kWordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP),
              left, top, width, height),
      sizing_(sizing) {}

void Label::SetCaption(const std::string& text) {
  Control::SetCaption(text);
  FitToText();
}

void Label::SetFont(const std::string& name, int height_px, unsigned style) {
  Control::SetFont(name, height_px, style);
  FitToText();
}

void Label::SetFontStyle(unsigned style) {
  const Font* current = CurrentFont() ? CurrentFont() : form_.CurrentFont();
  SetFont(current->Name(), current->HeightPx(), style);
}

void Label::FitToText() {
  if (sizing_ != Sizing::kAutoSize) {
    InvalidateRect(Handle(), nullptr, TRUE);
    return;
  }
  const Font* font = CurrentFont() ? CurrentFont() : form_.CurrentFont();
  HDC dc = GetDC(Handle());
  HGDIOBJ previous = SelectObject(dc, font ? font->Handle() : GetStockObject(DEFAULT_GUI_FONT));
  std::string text = Caption();
  RECT extent = {0, 0, 0, 0};
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &extent,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, previous);
  ReleaseDC(Handle(), dc);
  SetBounds(Left(), Top(), extent.right - extent.left, extent.bottom - extent.top);
}

}  // namespace gui
