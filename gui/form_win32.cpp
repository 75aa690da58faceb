#include "gui/form.h"

#include <vector>

#include "gui/application.h"
#include "gui/control.h"
#include "gui/picture.h"
#include "gui/timer.h"

namespace gui {
namespace {

const char kFormClass[] = "VarnelForm";
const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
const DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Runs an event handler so that an exception ends up at the application's
// handler instead of unwinding through the system's dispatch code.
void Guarded(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (...) {
    Application::Instance().HandleException();
  }
}

void RegisterFormClass() {
  WNDCLASSA window_class = {};
  if (GetClassInfoA(GetModuleHandleA(nullptr), kFormClass, &window_class)) return;
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = DefWindowProcA;  // replaced per window before the first message matters
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kFormClass;
  RegisterClassA(&window_class);
}

}  // namespace

Form::Form(const std::string& caption, int client_width, int client_height,
           const std::string& font_name, int font_height_px)
    : font_(std::make_unique<Font>(font_name, font_height_px)) {
  RegisterFormClass();
  RECT frame = {0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, kDialogStyle, FALSE, kDialogExStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  handle_ = CreateWindowExA(kDialogExStyle, kFormClass, caption.c_str(), kDialogStyle, left, top,
                            width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Form::WindowProc));
}

Form::~Form() {
  if (handle_ && IsWindow(handle_)) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

std::string Form::Caption() const {
  std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(handle_)) + 1);
  int copied = GetWindowTextA(handle_, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<size_t>(copied));
}

void Form::SetCaption(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

void Form::Show() {
  ShowWindow(handle_, SW_SHOWNORMAL);
  UpdateWindow(handle_);
}

void Form::DoCreate() { Guarded(OnCreate); }

void Form::Register(Control& control) { controls_[control.Id()] = &control; }
void Form::Unregister(Control& control) { controls_.erase(control.Id()); }
void Form::Register(Timer& timer) { timers_[timer.Id()] = &timer; }
void Form::Unregister(Timer& timer) { timers_.erase(timer.Id()); }
void Form::Register(const Bevel& bevel) { bevels_.push_back(&bevel); }
void Form::Unregister(const Bevel& bevel) { std::erase(bevels_, &bevel); }

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!form) return DefWindowProcA(window, message, wparam, lparam);
  try {
    return form->HandleMessage(message, wparam, lparam);
  } catch (...) {
    Application::Instance().HandleException();
    return 0;
  }
}

LRESULT Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      auto it = controls_.find(LOWORD(wparam));
      if (it != controls_.end() && lparam) it->second->Notify(HIWORD(wparam));
      return 0;
    }
    case WM_TIMER: {
      auto it = timers_.find(wparam);
      if (it != timers_.end()) Guarded(it->second->OnTimer);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ColorControl(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_ACTIVATEAPP:
      if (wparam) returning_from_other_program_ = true;
      break;
    case WM_ACTIVATE:
      HandleActivate(wparam);
      break;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_LBUTTONUP:
      Guarded(OnClick);
      return 0;
    case WM_SETCURSOR:
      if (HandleSetCursor()) return TRUE;
      break;
    case WM_CLOSE:
      Application::Instance().Terminate();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(handle_, message, wparam, lparam);
}

void Form::HandleActivate(WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) return;
  // The first activation always counts; later ones only when the focus comes
  // back from another window of this program.
  bool counts = !activated_once_ || !returning_from_other_program_;
  activated_once_ = true;
  returning_from_other_program_ = false;
  if (counts) Guarded(OnActivate);
}

bool Form::HandleSetCursor() {
  if (Application::Instance().CurrentCursor() != Cursor::kHourGlass) return false;
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  return true;
}

void Form::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(handle_, &paint);
  for (const Bevel* bevel : bevels_) bevel->Paint(dc);
  EndPaint(handle_, &paint);
}

LRESULT Form::ColorControl(HDC dc, HWND control) {
  auto it = controls_.find(GetDlgCtrlID(control));
  COLORREF text_colour = GetSysColor(COLOR_BTNTEXT);
  if (it != controls_.end()) text_colour = it->second->TextColour();
  // Controls sit on the flat button face, so painting their background in
  // that colour is what a transparent background looks like.
  SetTextColor(dc, text_colour);
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace gui
