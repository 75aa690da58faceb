// A top-level window with a dialog border and a fixed client size, centred
// on the screen, painted in the button-face colour. It owns the dispatch of
// its controls' notifications and its timers' ticks, each inside the
// application's exception guard.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/font.h"

namespace gui {

class Bevel;
class Control;
class Timer;

class Form {
 public:
  // Creates the (hidden) window with the given client size and font.
  Form(const std::string& caption, int client_width, int client_height,
       const std::string& font_name, int font_height_px);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  HWND Handle() const { return handle_; }
  const Font* CurrentFont() const { return font_.get(); }

  std::string Caption() const;
  void SetCaption(const std::string& text);
  void Show();

  // Events. OnActivate runs when the form becomes the program's active form:
  // when first shown, and when another window of the program (a message box)
  // closes and hands the focus back; not when the user returns from another
  // program.
  std::function<void()> OnCreate;
  std::function<void()> OnActivate;
  std::function<void()> OnClick;

  // Runs OnCreate inside the exception guard; derived forms call it at the
  // end of their constructor, once every control exists.
  void DoCreate();

  // Bookkeeping of children, used by Control and Timer.
  void Register(Control& control);
  void Unregister(Control& control);
  void Register(Timer& timer);
  void Unregister(Timer& timer);
  void Register(const Bevel& bevel);
  void Unregister(const Bevel& bevel);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void HandleActivate(WPARAM wparam);
  bool HandleSetCursor();
  LRESULT ColorControl(HDC dc, HWND control);
  void Paint();

  HWND handle_ = nullptr;
  std::unique_ptr<Font> font_;
  std::map<int, Control*> controls_;
  std::map<UINT_PTR, Timer*> timers_;
  std::vector<const Bevel*> bevels_;
  bool activated_once_ = false;
  bool returning_from_other_program_ = false;
};

}  // namespace gui
