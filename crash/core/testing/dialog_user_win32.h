// A test's user of the exception dialog of another process: finds it by
// its window class, reads its buttons and report and presses buttons
// (Windows only).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "crash/core/win_handle.h"

namespace qor::test {

inline std::vector<HWND> ButtonsOf(HWND dialog) {
  std::vector<HWND> buttons;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char class_name[32] = {};
    GetClassNameA(child, class_name, sizeof class_name);
    if (lstrcmpiA(class_name, "Button") == 0 && GetWindowTextLengthA(child) > 0) {
      buttons.push_back(child);
    }
  }
  return buttons;
}

inline std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The text of the report box (another process's edit box answers
// WM_GETTEXT, not GetWindowText).
inline std::string ReportOf(HWND dialog) {
  HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
  if (!edit) return "";
  std::string text(static_cast<size_t>(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
  text.resize(static_cast<size_t>(
      SendMessageA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

inline HWND ButtonNamed(HWND dialog, const std::string& caption) {
  for (HWND button : ButtonsOf(dialog)) {
    if (TextOf(button) == caption) return button;
  }
  return nullptr;
}

// On a thread of its own, while the test waits for the child: waits for
// the dialog titled `title` (the program's file name), notes its buttons,
// then presses `first` and, once that button is gone, `second` (when
// given). An empty caption closes the dialog by its close box.
class User {
 public:
  User(std::string title, std::string first, std::string second = "")
      : title_(std::move(title)), first_(std::move(first)), second_(std::move(second)) {
    thread_.reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
  }
  User(const User&) = delete;
  User& operator=(const User&) = delete;
  ~User() { WaitForSingleObject(thread_.get(), 60000); }

  // What the user saw: "caption" per button, "(disabled)" after a
  // disabled one; empty when no dialog came.
  std::string Seen() {
    WaitForSingleObject(thread_.get(), 60000);
    return seen_;
  }

  // The report in the dialog's report box, as the user saw it.
  std::string Report() {
    WaitForSingleObject(thread_.get(), 60000);
    return report_;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<User*>(self)->Act();
    return 0;
  }

  HWND WaitForDialog() const {
    for (int i = 0; i < 1200; ++i) {
      HWND dialog = FindWindowA("qorExceptWndClass", title_.c_str());
      if (dialog && IsWindowVisible(dialog)) return dialog;
      Sleep(50);
    }
    return nullptr;
  }

  static bool Press(HWND dialog, const std::string& caption) {
    if (caption.empty()) return PostMessageA(dialog, WM_CLOSE, 0, 0) != 0;
    HWND button = ButtonNamed(dialog, caption);
    return button && PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                                  reinterpret_cast<LPARAM>(button));
  }

  void Act() {
    HWND dialog = WaitForDialog();
    if (!dialog) return;
    for (HWND button : ButtonsOf(dialog)) {
      seen_ += TextOf(button) + (IsWindowEnabled(button) ? "," : "(disabled),");
    }
    report_ = ReportOf(dialog);
    if (!Press(dialog, first_) || second_.empty()) return;
    for (int i = 0; i < 600 && ButtonNamed(dialog, first_); ++i) Sleep(50);
    Press(dialog, second_);
  }

  std::string title_;
  std::string first_;
  std::string second_;
  std::string seen_;
  std::string report_;
  OwnedHandle thread_;
};

}  // namespace qor::test
