#include "gui/application.h"

#include <commctrl.h>

#include <exception>

#include "gui/form.h"
#include "runtime/exceptions.h"

namespace gui {

Application& Application::Instance() {
  static Application application;
  return application;
}

void Application::Initialize() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

void Application::Run(Form& form) {
  main_form_ = &form;
  if (title_.empty()) title_ = form.Caption();
  form.Show();
  MSG message;
  while (!terminated_) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    DispatchOne(message);
  }
  terminated_ = true;
  main_form_ = nullptr;
}

void Application::ProcessMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      terminated_ = true;
      break;
    }
    DispatchOne(message);
  }
}

void Application::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void Application::DispatchOne(const MSG& message) {
  // Tab and arrow keys move between the controls of the main form.
  if (main_form_ && IsDialogMessageA(main_form_->Handle(), const_cast<MSG*>(&message))) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Application::SetCursor(Cursor cursor) {
  cursor_ = cursor;
  ::SetCursor(LoadCursorA(nullptr, cursor == Cursor::kHourGlass ? IDC_WAIT : IDC_ARROW));
}

void Application::HandleException() {
  try {
    throw;
  } catch (const runtime::EAbort&) {
  } catch (const runtime::Exception& e) {
    ShowException(e.Message);
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Unknown exception");
  }
}

void Application::ShowException(const std::string& message) {
  std::string text = message;
  if (!text.empty() && text.back() != '.') text += '.';
  HWND owner = main_form_ ? main_form_->Handle() : nullptr;
  MessageBoxA(owner, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

}  // namespace gui
