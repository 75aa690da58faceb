#include "gui/control.h"

#include <vector>

#include "gui/form.h"

namespace gui {

Control::Control(Form& form, int id, const char* window_class, DWORD style, int left, int top,
                 int width, int height)
    : form_(form), id_(id), left_(left), top_(top), width_(width), height_(height) {
  handle_ = CreateWindowExA(0, window_class, "", WS_CHILD | style, left, top, width, height,
                            form.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleA(nullptr), nullptr);
  if (form.CurrentFont()) SendMessageA(handle_, WM_SETFONT, WPARAM(form.CurrentFont()->Handle()), 0);
  form.Register(*this);
}

Control::~Control() {
  form_.Unregister(*this);
  if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
}

void Control::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  MoveWindow(handle_, left, top, width, height, TRUE);
}

bool Control::Visible() const { return (GetWindowLongA(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

void Control::SetVisible(bool visible) { ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE); }

bool Control::Enabled() const { return IsWindowEnabled(handle_) != FALSE; }

void Control::SetEnabled(bool enabled) { EnableWindow(handle_, enabled ? TRUE : FALSE); }

std::string Control::Caption() const {
  int length = GetWindowTextLengthA(handle_);
  std::vector<char> text(static_cast<size_t>(length) + 1);
  int copied = GetWindowTextA(handle_, text.data(), length + 1);
  return std::string(text.data(), static_cast<size_t>(copied));
}

void Control::SetCaption(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

void Control::SetFont(const std::string& name, int height_px, unsigned style) {
  auto font = std::make_unique<Font>(name, height_px, style);
  SendMessageA(handle_, WM_SETFONT, WPARAM(font->Handle()), TRUE);
  font_ = std::move(font);  // the old font is deleted only after the control let go of it
}

void Control::SetTextColour(COLORREF colour) {
  has_text_colour_ = true;
  text_colour_ = colour;
  InvalidateRect(handle_, nullptr, TRUE);
}

}  // namespace gui
