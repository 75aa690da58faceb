// The application object: main form, message loop, busy cursor, and the
// handling of exceptions that escape an event handler.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

class Form;

enum class Cursor { kDefault, kHourGlass };

class Application {
 public:
  static Application& Instance();

  // Loads the common controls (visual styles come from the manifest).
  void Initialize();

  // Shows `form` and dispatches messages until Terminate. `form` must
  // outlive the call.
  void Run(Form& form);

  // Dispatches every pending message, then returns.
  void ProcessMessages();

  // Ends the message loop after the current message.
  void Terminate();
  bool Terminated() const { return terminated_; }

  void SetCursor(Cursor cursor);
  Cursor CurrentCursor() const { return cursor_; }

  Form* MainForm() const { return main_form_; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

  // Called inside a catch block around an event dispatch: an abort is
  // silent, anything else goes to ShowException and the program goes on.
  void HandleException();

  // Shows the message of an exception in a message box.
  void ShowException(const std::string& message);

 private:
  Application() = default;
  void DispatchOne(const MSG& message);

  Form* main_form_ = nullptr;
  bool terminated_ = false;
  Cursor cursor_ = Cursor::kDefault;
  std::string title_;
};

}  // namespace gui
