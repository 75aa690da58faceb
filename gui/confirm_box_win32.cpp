#include "gui/confirm_box.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "gui/font.h"

namespace gui {
namespace {

const char kTitle[] = "Confirm";
const int kMargin = 12;
const int kIconSize = 32;
const int kButtonWidth = 75;
const int kButtonHeight = 25;
const int kButtonGap = 8;
const int kTextWidthLimit = 420;
const int kTextId = 100;

struct BoxState {
  std::string question;
  Font font{"Verdana", 11};
};

// Size of `text` in `font` when wrapped at kTextWidthLimit.
SIZE MeasureText(HWND window, const Font& font, const std::string& text) {
  HDC dc = GetDC(window);
  HGDIOBJ previous = SelectObject(dc, font.Handle());
  RECT extent = {0, 0, kTextWidthLimit, 0};
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &extent,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, previous);
  ReleaseDC(window, dc);
  return SIZE{extent.right - extent.left, extent.bottom - extent.top};
}

HWND AddChild(HWND box, const char* window_class, const char* text, DWORD style, int id, int left,
              int top, int width, int height, const Font& font) {
  HWND child = CreateWindowExA(0, window_class, text, WS_CHILD | WS_VISIBLE | style, left, top,
                               width, height, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
  SendMessageA(child, WM_SETFONT, WPARAM(font.Handle()), FALSE);
  return child;
}

void LayOut(HWND box, const BoxState& state) {
  SIZE text = MeasureText(box, state.font, state.question);
  int content_height = std::max<int>(kIconSize, text.cy);
  int buttons_width = 2 * kButtonWidth + kButtonGap;
  int client_width =
      std::max<int>(kMargin + kIconSize + kMargin + text.cx + kMargin, buttons_width + 2 * kMargin);
  int buttons_top = kMargin + content_height + 16;
  int client_height = buttons_top + kButtonHeight + kMargin;

  HWND icon = AddChild(box, "STATIC", "", SS_ICON, -1, kMargin, kMargin, kIconSize, kIconSize,
                       state.font);
  SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
  AddChild(box, "STATIC", state.question.c_str(), SS_LEFT | SS_NOPREFIX, kTextId,
           2 * kMargin + kIconSize, kMargin + (content_height - text.cy) / 2, text.cx, text.cy,
           state.font);
  int buttons_left = (client_width - buttons_width) / 2;
  HWND yes = AddChild(box, "BUTTON", "&Yes", WS_TABSTOP | BS_DEFPUSHBUTTON, IDYES, buttons_left,
                      buttons_top, kButtonWidth, kButtonHeight, state.font);
  AddChild(box, "BUTTON", "&No", WS_TABSTOP | BS_PUSHBUTTON, IDNO,
           buttons_left + kButtonWidth + kButtonGap, buttons_top, kButtonWidth, kButtonHeight,
           state.font);

  RECT frame = {0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, GetWindowLongA(box, GWL_STYLE), FALSE, GetWindowLongA(box, GWL_EXSTYLE));
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  RECT area;
  HWND owner = GetWindow(box, GW_OWNER);
  if (!owner || !GetWindowRect(owner, &area)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  SetWindowPos(box, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER);
  SetWindowTextA(box, kTitle);
  SetFocus(yes);
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      LayOut(box, *reinterpret_cast<const BoxState*>(lparam));
      return FALSE;  // focus was set on Yes
    case WM_COMMAND:
      if (LOWORD(wparam) == IDYES || LOWORD(wparam) == IDNO || LOWORD(wparam) == IDCANCEL) {
        EndDialog(box, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(box, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

// An in-memory dialog template without controls; LayOut adds them in pixels.
std::vector<uint16_t> EmptyTemplate() {
  std::vector<uint16_t> words(sizeof(DLGTEMPLATE) / 2 + 3, 0);  // + menu, class, title
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(words.data());
  dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  dialog->dwExtendedStyle = WS_EX_DLGMODALFRAME;
  dialog->cx = 100;
  dialog->cy = 50;
  return words;
}

}  // namespace

Answer Confirm(HWND owner, const std::string& question) {
  BoxState state;
  state.question = question;
  std::vector<uint16_t> dialog = EmptyTemplate();
  INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                           reinterpret_cast<DLGTEMPLATE*>(dialog.data()), owner,
                                           BoxProc, reinterpret_cast<LPARAM>(&state));
  if (result == IDYES) return Answer::kYes;
  if (result == IDNO) return Answer::kNo;
  return Answer::kClosed;
}

}  // namespace gui
