// Decorations: the bevel frame and an image that shows a bitmap resource.
#pragma once

#include "gui/control.h"

namespace gui {

class Bevel : public Control {
 public:
  Bevel(Form& form, int id, int left, int top, int width, int height);
};

class Image : public Control {
 public:
  // Shows the bitmap resource `resource_id` of the program.
  Image(Form& form, int id, int left, int top, int width, int height, int resource_id);
  ~Image() override;

 private:
  HBITMAP bitmap_;
};

}  // namespace gui
