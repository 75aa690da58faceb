// The program's confirmation box: a modal question with a question icon,
// titled "Confirm", with the buttons "&Yes" and "&No".
#pragma once

#include <windows.h>

#include <string>

namespace gui {

enum class Answer { kYes, kNo, kClosed };

// Asks `question` (which may hold line feeds) modally over `owner`.
// kClosed means the box was closed without a button (Esc or the close box).
Answer Confirm(HWND owner, const std::string& question);

}  // namespace gui
