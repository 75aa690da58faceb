// Push button and check box.
#pragma once

#include <functional>

#include "gui/control.h"

namespace gui {

class Button : public Control {
 public:
  Button(Form& form, int id, int left, int top, int width, int height);

  std::function<void()> OnClick;
  void Notify(int code) override;
};

class CheckBox : public Control {
 public:
  CheckBox(Form& form, int id, int left, int top, int width, int height);

  bool Checked() const;
  void SetChecked(bool checked);
};

}  // namespace gui
