// Base of the child controls: a window of a system class placed at a pixel
// position inside a form's client area.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "gui/font.h"

namespace gui {

class Form;

class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  HWND Handle() const { return handle_; }
  int Id() const { return id_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }

  bool Visible() const;
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);

  std::string Caption() const;
  virtual void SetCaption(const std::string& text);

  // Replaces the control's font; the control keeps the font object alive.
  void SetFont(const std::string& name, int height_px, unsigned style);
  const Font* CurrentFont() const { return font_.get(); }

  // Colour of the control's text; the system's button text unless set.
  COLORREF TextColour() const { return has_text_colour_ ? text_colour_ : GetSysColor(COLOR_BTNTEXT); }
  void SetTextColour(COLORREF colour);

  // Called by the form for WM_COMMAND notifications addressed to this control.
  virtual void Notify(int code) {}

 protected:
  // Creates the window as a child of `form`; `id` is its control identifier.
  Control(Form& form, int id, const char* window_class, DWORD style, int left, int top, int width,
          int height);

  Form& form_;

 private:
  int id_;
  HWND handle_ = nullptr;
  int left_, top_, width_, height_;
  std::unique_ptr<Font> font_;
  bool has_text_colour_ = false;
  COLORREF text_colour_ = 0;
};

}  // namespace gui
