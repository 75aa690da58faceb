#include "gui/button.h"

#include "gui/application.h"

namespace gui {

Button::Button(Form& form, int id, int left, int top, int width, int height)
    : Control(form, id, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, left, top, width,
              height) {}

void Button::Notify(int code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

CheckBox::CheckBox(Form& form, int id, int left, int top, int width, int height)
    : Control(form, id, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, left, top, width,
              height) {}

bool CheckBox::Checked() const {
  return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool checked) {
  SendMessageA(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace gui
