// The exception dialog's window: creation from the layout, its window
// procedure, the message loop and the actions behind the buttons.
#include <windows.h>

#include <algorithm>
#include <array>

#include "crash/core/core_module.h"
#include "crash/core/except_box.h"
#include "crash/core/except_box_console_win32.h"
#include "crash/core/except_box_layout.h"
#include "crash/core/except_box_paint_win32.h"
#include "crash/core/report_actions.h"
#include "crash/core/report_file.h"
#include "crash/core/settings_win32.h"
#include "crash/delivery/mail_address.h"

namespace qor {
namespace {

constexpr char kWindowClass[] = "qorExceptWndClass";
constexpr UINT_PTR kCountdownTimer = 777;
constexpr int kFirstButtonId = 100;

constexpr COLORREF kRestDifference = 0x101010;

ButtonLook RestLook() { return {RGB(0, 0, 0), GetSysColor(COLOR_BTNFACE)}; }
ButtonLook FocusLook() { return {RGB(255, 255, 255), GetSysColor(COLOR_3DDKSHADOW)}; }

HINSTANCE CoreInstance() {
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(CoreModule()));
}

uint64_t NowSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) / 10000000;
}

// The big icon is kept as raw data (an icon resource's image), so that it
// cannot collide with the program's own icon resources.
HICON LoadBigIcon() {
  for (HMODULE module : {static_cast<HMODULE>(CoreInstance()), GetModuleHandleA(nullptr)}) {
    const HRSRC found = FindResourceA(module, "MEIBIGICON", MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (!found) continue;
    const HGLOBAL data = LoadResource(module, found);
    auto* image = static_cast<BYTE*>(data ? LockResource(data) : nullptr);
    if (!image) continue;
    if (HICON icon = CreateIconFromResourceEx(image, SizeofResource(module, found), TRUE,
                                              0x00030000, 32, 32, LR_DEFAULTCOLOR)) {
      return icon;
    }
  }
  return nullptr;
}

class ExceptionBox {
 public:
  explicit ExceptionBox(const ExceptBoxRequest& request)
      : request_(request), settings_(ExceptSettings), painter_(memory_dc_) {}
  ExceptionBox(const ExceptionBox&) = delete;
  ExceptionBox& operator=(const ExceptionBox&) = delete;
  ~ExceptionBox();

  bool Create();
  void Run();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  bool CreateDialogWindow();
  BoxLayout Layout(const std::string& message);
  void StartCountdown(const FocusRule& rule);
  void CreateGdiObjects(int bitmap_width);
  void CreateButtons(const BoxLayout& layout);
  void CreateDetails(const BoxLayout& layout);
  int ButtonIndex(HWND window) const;
  void DrawItem(const DRAWITEMSTRUCT& item);
  void Command(HWND control);
  void Animate(int index, HWND button);
  void Countdown();
  void StopCountdown();
  int LineOf(HWND button) const;
  bool Fire(int action) const { return request_.fire_action && request_.fire_action(action); }
  void RunAction(int index);
  void ShowDetails();
  void DestroyButton(int index);

  const ExceptBoxRequest& request_;
  TExceptSettings settings_;  // the dialog may clear the show caption
  HDC memory_dc_ = CreateCompatibleDC(nullptr);
  HBITMAP bitmap_ = nullptr;
  HFONT sans_font_ = nullptr;
  HFONT fixed_font_ = nullptr;
  HGDIOBJ previous_bitmap_ = nullptr;
  HGDIOBJ previous_font_ = nullptr;
  ButtonPainter painter_;
  HWND dialog_ = nullptr;
  HWND edit_ = nullptr;
  std::array<HWND, 7> buttons_{};
  HWND countdown_button_ = nullptr;
  HWND focus_before_ = nullptr;  // gets the focus back on activation
  DWORD last_fade_ = 0;
  int expanded_height_ = 0;
  int focused_ = 0;
  DWORD countdown_start_ = 0;
  int countdown_line_ = -1;
  HICON big_icon_ = nullptr;
  HWND icon_window_ = nullptr;
};

ExceptionBox::~ExceptionBox() {
  if (dialog_ && IsWindow(dialog_)) DestroyWindow(dialog_);
  if (previous_bitmap_) SelectObject(memory_dc_, previous_bitmap_);
  if (previous_font_) SelectObject(memory_dc_, previous_font_);
  if (bitmap_) DeleteObject(bitmap_);
  if (sans_font_) DeleteObject(sans_font_);
  if (fixed_font_) DeleteObject(fixed_font_);
  if (memory_dc_) DeleteDC(memory_dc_);
  if (big_icon_) DestroyIcon(big_icon_);
}

void ExceptionBox::CreateGdiObjects(int bitmap_width) {
  HDC screen = GetDC(nullptr);
  bitmap_ = CreateCompatibleBitmap(screen, std::max(bitmap_width, 1), 22);
  ReleaseDC(nullptr, screen);
  if (bitmap_) previous_bitmap_ = SelectObject(memory_dc_, bitmap_);
}

bool ExceptionBox::Create() {
  FocusRule rule;
  for (int i = 0; i < 7; ++i) rule.exists[i] = !settings_.ButtonCaptions[i].Empty();
  const uint64_t now = NowSeconds();
  rule.close_due = AutoActionDue(settings_.AutoClose, request_.times, now);
  rule.restart_due = AutoActionDue(settings_.AutoRestart, request_.times, now);
  rule.auto_continue = settings_.AutoContinue;
  rule.can_continue = request_.can_continue;
  rule.configured = settings_.FocusedButton;
  focused_ = ResolveFocusedButton(rule);
  // The report is visible from the start: nothing to show.
  if (settings_.ShowDetailsAtStart) settings_.ButtonCaptions[kShowButton] = {};
  if (!CreateDialogWindow()) return false;

  const std::string message = ExceptBoxMessage(request_, ".");
  const BoxLayout layout = Layout(message);
  if (big_icon_) {
    icon_window_ = CreateWindowA("BUTTON", "", WS_CHILD | WS_VISIBLE | WS_DISABLED | BS_OWNERDRAW,
                                 9, 10, 32, 32, dialog_, nullptr, CoreInstance(), nullptr);
  }
  CreateButtons(layout);
  HWND text = CreateWindowA("STATIC", message.c_str(), WS_CHILD | WS_VISIBLE, layout.message.x,
                            layout.message.y, layout.message.width, layout.message.height,
                            dialog_, nullptr, CoreInstance(), nullptr);
  SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(sans_font_), 0);
  if (layout.details) CreateDetails(layout);

  expanded_height_ = layout.expanded_height;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - layout.expanded_width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - layout.expanded_height) / 2;
  SetWindowPos(dialog_, nullptr, x, y, layout.width,
               settings_.ShowDetailsAtStart ? layout.expanded_height : layout.collapsed_height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (settings_.AnimatedButtons) StartCountdown(rule);
  MessageBeep(MB_ICONHAND);
  ShowWindow(dialog_, IsIconic(dialog_) ? SW_RESTORE : SW_SHOWNORMAL);
  BringWindowToTop(dialog_);
  SetForegroundWindow(dialog_);
  if (request_.frozen && request_.post_probe) request_.post_probe(dialog_);
  return true;
}

bool ExceptionBox::CreateDialogWindow() {
  WNDCLASSA window_class{};
  window_class.style = CS_CLASSDC | CS_PARENTDC;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = CoreInstance();
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  RegisterClassA(&window_class);  // fails harmlessly when an earlier dialog registered it

  const std::string title =
      ReplaceAppName(settings_.TitleText.View(), AppNameFor(AppNameUse::kDialogTitle));
  dialog_ = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kWindowClass, title.c_str(),
                            WS_CAPTION | WS_SYSMENU, 0, 0, 100, 100, nullptr, nullptr,
                            CoreInstance(), this);
  if (!dialog_ || !memory_dc_) return false;
  HMENU menu = GetSystemMenu(dialog_, FALSE);
  for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
    DeleteMenu(menu, command, MF_BYCOMMAND);
  }
  sans_font_ = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                           "MS Sans Serif");
  fixed_font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                            "Courier New");
  if (sans_font_) previous_font_ = SelectObject(memory_dc_, sans_font_);
  SetBkMode(memory_dc_, TRANSPARENT);
  return true;
}

BoxLayout ExceptionBox::Layout(const std::string& message) {
  BoxMeasures measures;
  int widest = 0;
  for (int i = 0; i < 7; ++i) {
    const auto caption = settings_.ButtonCaptions[i].View();
    if (caption.empty()) continue;
    SIZE size{};
    GetTextExtentPoint32A(memory_dc_, caption.data(), static_cast<int>(caption.size()), &size);
    measures.widths[i] = size.cx + 39;
    widest = std::max(widest, measures.widths[i]);
  }
  CreateGdiObjects(widest - 4);
  big_icon_ = LoadBigIcon();
  measures.big_icon = big_icon_ != nullptr;
  measures.show_details = settings_.ShowDetailsAtStart;
  measures.can_continue = request_.can_continue;
  measures.caption_height = GetSystemMetrics(SM_CYCAPTION);
  measures.message_size = [this, &message](int wrap_width) {
    RECT rect{0, 0, wrap_width, 0};
    DrawTextA(memory_dc_, message.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK);
    return BoxSize{rect.right, rect.bottom};
  };
  return LayoutExceptBox(measures);
}

// The button that the automatic action presses when its time is up.
void ExceptionBox::StartCountdown(const FocusRule& rule) {
  if (rule.close_due && buttons_[kCloseButton]) {
    countdown_button_ = buttons_[kCloseButton];
  } else if (rule.restart_due && buttons_[kRestartButton]) {
    countdown_button_ = buttons_[kRestartButton];
  } else if (settings_.AutoContinue && buttons_[kContinueButton] && request_.can_continue) {
    countdown_button_ = buttons_[kContinueButton];
  }
  if (countdown_button_) {
    countdown_start_ = std::max<DWORD>(GetTickCount(), 1);
    SetTimer(dialog_, kCountdownTimer, 10, nullptr);
  }
}

void ExceptionBox::CreateButtons(const BoxLayout& layout) {
  for (int i = 0; i < 7; ++i) {
    const BoxRect& r = layout.buttons[i];
    if (r.width <= 0) continue;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    if (settings_.AnimatedButtons) style |= BS_OWNERDRAW;
    if (i == focused_) style |= BS_DEFPUSHBUTTON;
    const std::string caption(settings_.ButtonCaptions[i].View());
    buttons_[i] = CreateWindowA("BUTTON", caption.c_str(), style, r.x, r.y, r.width, r.height,
                                dialog_, reinterpret_cast<HMENU>(kFirstButtonId + i),
                                CoreInstance(), nullptr);
    SetWindowLongPtrA(buttons_[i], GWLP_USERDATA, i);
    SendMessageA(buttons_[i], WM_SETFONT, reinterpret_cast<WPARAM>(sans_font_), 0);
  }
  if (focused_ >= 0 && focused_ < 7 && buttons_[focused_]) {
    focus_before_ = buttons_[focused_];
    SetFocus(focus_before_);
  }
  if (layout.continue_disabled && buttons_[kContinueButton]) {
    EnableWindow(buttons_[kContinueButton], FALSE);
    SetWindowLongPtrA(buttons_[kContinueButton], GWLP_USERDATA, kCantContinueGlyph);
  }
}

void ExceptionBox::CreateDetails(const BoxLayout& layout) {
  if (settings_.AutoClipboard) CopyToClipboard(request_.report);
  const BoxRect& gray = layout.gray_frame;
  const BoxRect& white = layout.white_frame;
  CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_GRAYFRAME, gray.x, gray.y, gray.width,
                gray.height, dialog_, nullptr, CoreInstance(), nullptr);
  CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_WHITEFRAME, white.x, white.y,
                white.width, white.height, dialog_, nullptr, CoreInstance(), nullptr);
  // A child of the dialog placed inside the frame, so that its messages
  // reach the dialog.
  edit_ = CreateWindowA("EDIT", "",
                        WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL |
                            WS_HSCROLL,
                        white.x + layout.edit.x, white.y + layout.edit.y, layout.edit.width,
                        layout.edit.height, dialog_, nullptr, CoreInstance(), nullptr);
  SendMessageA(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(fixed_font_), 0);
  SendMessageA(edit_, EM_LIMITTEXT, 0, 0);
  SetWindowTextA(edit_, request_.report.c_str());
}

void ExceptionBox::Run() {
  MSG message;
  while (IsWindow(dialog_) && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
      message = {dialog_, WM_CLOSE, 0, 0, message.time, message.pt};
    }
    if (message.hwnd != edit_ && IsDialogMessageA(dialog_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

LRESULT CALLBACK ExceptionBox::WindowProc(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* box = reinterpret_cast<ExceptionBox*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!box || !box->dialog_) return DefWindowProcA(window, message, wparam, lparam);
  // No exception may cross the system's frames; a failure inside the
  // dialog ends it, without a second report.
  try {
    return box->Handle(message, wparam, lparam);
  } catch (...) {
    DestroyWindow(window);
    return 0;
  }
}

int ExceptionBox::ButtonIndex(HWND window) const {
  for (int i = 0; i < 7; ++i) {
    if (window && buttons_[i] == window) return i;
  }
  return -1;
}

LRESULT ExceptionBox::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NULL:
      if (wparam == 777 && lparam == 777) DestroyWindow(dialog_);
      return 0;
    case WM_CLOSE: {
      std::array<bool, 7> exists;
      for (int i = 0; i < 7; ++i) exists[i] = buttons_[i] != nullptr;
      RunAction(CloseBoxAction(focused_, exists, request_.can_continue));
      return 0;
    }
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_COMMAND: {
      DefWindowProcA(dialog_, message, wparam, lparam);
      HWND control = reinterpret_cast<HWND>(lparam);
      if (!control && wparam == IDOK) control = GetFocus();
      Command(control);
      return 0;
    }
    case WM_ACTIVATE:
      // Like a dialog: the keyboard focus goes back to the control that
      // had it, never to the window itself (a focus change would stop
      // the countdown).
      if (LOWORD(wparam) == WA_INACTIVE) {
        if (ButtonIndex(GetFocus()) >= 0) focus_before_ = GetFocus();
      } else {
        SetFocus(IsWindow(focus_before_) ? focus_before_ : dialog_);
      }
      return 0;
    case WM_DESTROY:
      // The loop may be waiting in GetMessage (destroyed by a sent
      // message): wake it so that it sees the window is gone.
      PostMessageA(nullptr, WM_NULL, 0, 0);
      return 0;
    case WM_TIMER:
      if (wparam == kCountdownTimer) Countdown();
      return 0;
    default:
      return DefWindowProcA(dialog_, message, wparam, lparam);
  }
}

int ExceptionBox::LineOf(HWND button) const {
  if (button != countdown_button_ || countdown_start_ == 0) return -1;
  RECT rect;
  GetClientRect(button, &rect);
  return CountdownPosition(GetTickCount() - countdown_start_, rect.right,
                           settings_.AutoDelaySeconds);
}

void ExceptionBox::DrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem == icon_window_) {
    DrawIconEx(item.hDC, 0, 0, big_icon_, 32, 32, 0, nullptr, DI_NORMAL);
    return;
  }
  if (ButtonIndex(item.hwndItem) < 0) return;
  const bool focused = item.itemState & ODS_FOCUS;
  if (item.itemAction == ODA_FOCUS) {
    StopCountdown();
    ButtonLook rest = RestLook();
    rest.back = AdjustedBack(rest.back, kRestDifference, false);
    if (focused) {
      painter_.Fade(item.hwndItem, rest, FocusLook(), -1);
    } else {
      painter_.Fade(item.hwndItem, FocusLook(), rest, -1);
    }
    last_fade_ = GetTickCount();
    return;
  }
  painter_.Paint(item.hwndItem, focused ? FocusLook() : RestLook(), LineOf(item.hwndItem),
                 focused ? 0 : kRestDifference);
}

void ExceptionBox::StopCountdown() {
  if (countdown_start_ == 0) return;
  KillTimer(dialog_, kCountdownTimer);
  countdown_start_ = 0;
  if (countdown_button_) InvalidateRect(countdown_button_, nullptr, FALSE);
}

void ExceptionBox::Countdown() {
  if (settings_.AutoDelaySeconds == 0 || countdown_start_ == 0 || !countdown_button_) return;
  RECT rect;
  GetClientRect(countdown_button_, &rect);
  const int line = LineOf(countdown_button_);
  if (line == countdown_line_) return;
  countdown_line_ = line;
  if (line > rect.right) {
    PostMessageA(dialog_, WM_COMMAND, 0, reinterpret_cast<LPARAM>(countdown_button_));
    return;
  }
  const bool focused = GetFocus() == countdown_button_;
  painter_.Paint(countdown_button_, focused ? FocusLook() : RestLook(), line,
                 focused ? 0 : kRestDifference);
}

void ExceptionBox::Animate(int index, HWND button) {
  const ButtonLook rest = {RGB(0, 0, 0), AdjustedBack(GetSysColor(COLOR_BTNFACE),
                                                     kRestDifference, false)};
  if (index == kMailButton || index == kSaveButton || index == kPrintButton) {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    for (int blink = 0; blink < 4; ++blink) {
      painter_.Paint(button, rest, -1, 0);
      Sleep(50);
      painter_.Paint(button, FocusLook(), -1, 0);
      Sleep(50);
    }
  }
  if (index == kShowButton) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    painter_.Fade(button, FocusLook(), {face, face}, -1);
    last_fade_ = GetTickCount();
  } else if (GetTickCount() - last_fade_ > 200) {
    painter_.Fade(button, FocusLook(), rest, -1);
    painter_.Fade(button, rest, FocusLook(), -1);
    last_fade_ = GetTickCount();
  }
}

void ExceptionBox::Command(HWND control) {
  const int index = ButtonIndex(control);
  if (index < 0) return;
  StopCountdown();
  if (settings_.AnimatedButtons) Animate(index, control);
  if (index == kContinueButton && !request_.can_continue) {
    RunAction(kCloseButton);
  } else {
    RunAction(index);
  }
}

void ExceptionBox::DestroyButton(int index) {
  HWND button = buttons_[index];
  if (!button) return;
  buttons_[index] = nullptr;
  if (countdown_button_ == button) countdown_button_ = nullptr;
  if (GetFocus() == button) {
    for (HWND other : buttons_) {
      if (other) {
        SetFocus(other);
        break;
      }
    }
  }
  DestroyWindow(button);
}

void ExceptionBox::ShowDetails() {
  if (settings_.AutoClipboard) CopyToClipboard(request_.report);
  RECT rect;
  GetWindowRect(dialog_, &rect);
  const int width = rect.right - rect.left;
  const int new_width = std::max(width, 538);
  SetWindowPos(dialog_, nullptr, 0, 0, new_width, expanded_height_,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (new_width > width) {
    for (int i : {kCloseButton, kRestartButton, kContinueButton}) {
      if (!buttons_[i]) continue;
      RECT button;
      GetWindowRect(buttons_[i], &button);
      MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&button), 2);
      SetWindowPos(buttons_[i], nullptr, button.left + new_width - width, button.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The dialog does not clip its children: its own late repaint of the
    // new strip would cover the moved buttons. Paint it first, then them.
    RedrawWindow(dialog_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  DestroyButton(kShowButton);
}

void ExceptionBox::RunAction(int index) {
  const auto beep = [](bool ok) { MessageBeep(ok ? MB_ICONASTERISK : 0); };
  switch (index) {
    case kShowButton:
      Fire(kShowButton);
      ShowDetails();
      break;
    case kCloseButton:
      if (!Fire(kCloseButton)) CloseProcess();
      break;
    case kRestartButton:
      if (!Fire(kRestartButton)) RestartProcess(request_.times);
      break;
    case kContinueButton:
      Fire(kContinueButton);
      DestroyWindow(dialog_);
      break;
    case kMailButton:
      if (!Fire(kMailButton)) MailReport(request_.report, request_.screenshot_png, dialog_, false);
      break;
    case kSaveButton:
      if (!Fire(kSaveButton)) {
        const bool saved = SaveReport(request_.report, dialog_, false);
        if (saved && IsAbsoluteReportPath(BugReportFileName())) DestroyButton(kSaveButton);
        beep(saved);
      }
      break;
    case kPrintButton:
      if (!Fire(kPrintButton)) beep(PrintReport(request_.report, dialog_));
      break;
    default:
      break;
  }
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

}  // namespace

void RunExceptBox(const ExceptBoxRequest& request) {
  try {
    if (ExceptSettings.ConsoleOutput && IsConsoleProgram()) {
      WriteConsoleReport(request);
      return;
    }
    ExceptionBox box(request);
    if (box.Create()) box.Run();
  } catch (...) {
    // The request ends without the dialog (out of memory).
  }
}

}  // namespace qor
